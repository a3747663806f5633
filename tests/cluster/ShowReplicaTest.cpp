// A follower's copy of the show, fed the messages a leader publishes in the
// orders a broker may deliver them, and messages from strangers.
#include "ClusterRig.h"

#include "cluster/ShowReplica.h"
#include "core/ProjectFile.h"
#include "core/RecordText.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

struct Feed {
    ClusterTopics topics = ClusterTopics::make("t").value();
    ShowReplica replica{topics};

    std::optional<std::string> surface(const Surface& s) {
        return replica.receive(topics.surface(s.id), writeSurfaceText(s).value());
    }
    std::optional<std::string> output(const OutputConfig& o) {
        return replica.receive(topics.output(o.id), writeOutputText(o).value());
    }
    std::optional<std::string> cue(const Cue& c) {
        return replica.receive(topics.cue(c.id), writeCueText(c).value());
    }
    std::optional<std::string> project(const ProjectModel& model) {
        ProjectStateMessage message;
        message.canvasWidth = model.canvasSize().width;
        message.canvasHeight = model.canvasSize().height;
        message.backgroundOpacity = model.backgroundOpacity();
        message.backgroundImagePath = model.backgroundImagePath();
        for (const Surface& s : model.surfaces()) {
            message.surfaces.push_back(s.id);
        }
        for (const OutputConfig& o : model.outputs()) {
            message.outputs.push_back(o.id);
        }
        for (const Cue& c : model.cues()) {
            message.cues.push_back(c.id);
        }
        return replica.receive(topics.project(), writeProjectState(message).value());
    }
};

TEST(ShowReplicaTest, BuildsTheShowWhateverOrderTheRecordsCome) {
    ProjectModel leader;
    testing::fillShow(leader, 5);

    Feed feed;
    ProjectModel follower;
    // The order first (as after a broker restart), then the records backwards.
    EXPECT_FALSE(feed.project(leader));
    feed.replica.applyTo(follower);
    EXPECT_FALSE(feed.replica.complete());
    EXPECT_TRUE(follower.surfaces().empty());
    for (std::size_t i = leader.surfaces().size(); i-- > 0;) {
        EXPECT_FALSE(feed.surface(leader.surfaces()[i]));
    }
    for (const OutputConfig& o : leader.outputs()) {
        EXPECT_FALSE(feed.output(o));
    }
    EXPECT_TRUE(feed.replica.complete());
    feed.replica.applyTo(follower);
    EXPECT_TRUE(testing::sameShow(leader, follower));
    EXPECT_FALSE(feed.replica.pending());

    // Reorder, delete one, change one.
    std::vector<Surface> list = leader.surfaces().copy();
    std::swap(list[0], list[4]);
    const Uuid gone = list[2].id;
    list.erase(list.begin() + 2);
    list[1].opacity = 0.125;
    leader.setSurfaces(list);
    EXPECT_FALSE(feed.surface(list[1]));
    EXPECT_FALSE(feed.project(leader));
    EXPECT_FALSE(feed.replica.receive(feed.topics.surface(gone), ""));
    feed.replica.applyTo(follower);
    EXPECT_TRUE(testing::sameShow(leader, follower));
    EXPECT_EQ(feed.replica.surfaceCount(), 4u);
}

TEST(ShowReplicaTest, StrangersChangeNothing) {
    ProjectModel leader;
    testing::fillShow(leader, 3);
    Feed feed;
    ProjectModel follower;
    feed.project(leader);
    for (const Surface& s : leader.surfaces()) {
        feed.surface(s);
    }
    for (const OutputConfig& o : leader.outputs()) {
        feed.output(o);
    }
    feed.replica.applyTo(follower);
    ASSERT_TRUE(testing::sameShow(leader, follower));

    const Uuid first = leader.surfaces()[0].id;
    Surface impostor = leader.surfaces()[1]; // another surface's record under the first's id
    impostor.name = "impostor";
    const std::string t = feed.topics.root();
    for (const auto& [topic, payload] : std::vector<std::pair<std::string, std::string>>{
             {feed.topics.surface(first), "not json"},
             {feed.topics.surface(first), writeSurfaceText(impostor).value()},
             {feed.topics.surface(first), R"({"id":")" + first.text() + R"("})"},
             {feed.topics.surface(first), std::string(5 * 1024 * 1024, ' ')},
             {feed.topics.output(leader.outputs()[0].id), "[1,2,3]"},
             {feed.topics.project(), R"({"surfaces":"all"})"},
             {feed.topics.project(), std::string(200000, '[')},
             {feed.topics.show(), "{\"videoStarts\":7}"},
             {feed.topics.leader(), "{}"},
             {feed.topics.cue(first), R"({"id":")" + Uuid::random().text() + R"(","name":"x"})"},
             {feed.topics.cue(leader.outputs()[0].id), "{\"looks\":"},
             {feed.topics.cue(first), std::string(5 * 1024 * 1024, ' ')},
         }) {
        EXPECT_TRUE(feed.replica.receive(topic, payload)) << topic << " " << payload.substr(0, 30);
    }
    // Topics it does not know, or other machines' business, are no problem.
    EXPECT_FALSE(feed.replica.receive(t + "/future/thing", "x"));
    EXPECT_FALSE(feed.replica.receive(t + "/node/pc/status", "garbage"));
    EXPECT_FALSE(feed.replica.pending());
    feed.replica.applyTo(follower);
    EXPECT_TRUE(testing::sameShow(leader, follower));
}

TEST(ShowReplicaTest, CuesFollowTheProjectsOrderWhicheverArrivesFirst) {
    ProjectModel leader;
    testing::fillShow(leader, 2);
    std::vector<Cue> cues(3);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = "Cue " + std::to_string(i + 1);
        CueLook look;
        look.surface = leader.surfaces()[i % 2].id;
        look.opacity = 0.25 * static_cast<double>(i);
        cues[i].looks.push_back(look);
    }
    leader.setCues(cues);
    Feed feed;
    ProjectModel follower;
    follower.setCues({Cue()}); // from a project given on the command line
    for (const Surface& s : leader.surfaces()) {
        feed.surface(s);
    }
    for (const OutputConfig& o : leader.outputs()) {
        feed.output(o);
    }

    // One cue before the order, the others after it: each takes its place
    // once it has come, and the order alone replaces the given list.
    EXPECT_FALSE(feed.cue(cues[1]));
    feed.replica.applyTo(follower);
    EXPECT_EQ(follower.cues().size(), 1u) << "nothing before the project message";
    EXPECT_FALSE(feed.project(leader));
    feed.replica.applyTo(follower);
    ASSERT_EQ(follower.cues().size(), 1u);
    EXPECT_EQ(follower.cues()[0], cues[1]);
    EXPECT_FALSE(feed.replica.complete());
    EXPECT_FALSE(feed.cue(cues[2]));
    feed.replica.applyTo(follower);
    EXPECT_EQ(follower.cues().size(), 1u) << "copied once the last listed cue has come";
    EXPECT_FALSE(feed.cue(cues[0]));
    EXPECT_TRUE(feed.replica.complete());
    feed.replica.applyTo(follower);
    EXPECT_EQ(follower.cues(), cues);

    // Reordered, one edited, one deleted (cleared after the order drops it).
    std::vector<Cue> edited = {cues[2], cues[0]};
    edited[1].fade = 4.0;
    leader.setCues(edited);
    EXPECT_FALSE(feed.cue(edited[1]));
    EXPECT_FALSE(feed.project(leader));
    EXPECT_FALSE(feed.replica.receive(feed.topics.cue(cues[1].id), ""));
    feed.replica.applyTo(follower);
    EXPECT_EQ(follower.cues(), edited);
    EXPECT_FALSE(feed.replica.pending());
}

} // namespace
} // namespace prismeta
