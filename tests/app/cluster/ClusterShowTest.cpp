// `prismeta --show --lead` and `prismeta --show --node left` on a broker: the
// follower builds the show, reports the outputs it shows, follows an edit
// made on the leader over OSC, refuses one made on itself, and keeps
// showing when the leader is killed.
#include "BrokerProcess.h"
#include "ClusterRig.h"
#include "OscTestClient.h"

#include "cluster/ClusterMessages.h"
#include "cluster/MqttClient.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using test::OscTestClient;
using testing::BrokerProcess;
using testing::ChildProcess;

// The follower's answer to an opacity query of surface 0, if one comes.
std::optional<double> askOpacity(OscTestClient& desk, std::uint16_t port) {
    desk.clear();
    desk.send(port, "/prismeta/surface/0/opacity", {OscArgument::text("?")});
    const auto answers = desk.receive([](const auto& got) { return !got.empty(); }, 1s);
    if (answers.empty() || answers.back().arguments.empty()) {
        return std::nullopt;
    }
    return answers.back().arguments[0].number();
}

// The follower's live cue id, if it answers.
std::optional<std::string> askCue(OscTestClient& desk, std::uint16_t port) {
    desk.clear();
    desk.send(port, "/prismeta/cue/current", {});
    const auto answers = desk.receive([](const auto& got) { return !got.empty(); }, 1s);
    if (answers.empty() || answers.back().arguments.empty() ||
        answers.back().arguments[0].string() == nullptr) {
        return std::nullopt;
    }
    return *answers.back().arguments[0].string();
}

template <class Done> bool waitFor(Done done, std::chrono::seconds timeout = 30s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// `prismeta --show --lead PROJECT` and `prismeta --show --node left` on the
// broker's show "front", each listening for OSC on a port of its own.
struct LeaderAndFollower {
    LeaderAndFollower(const BrokerProcess& broker, const std::filesystem::path& project)
        : leader({PRISMETA_BINARY, "--show", "--lead", "--broker", address(broker), "--topic",
                  "front", "--osc-port", std::to_string(leaderOsc), project.string()}),
          follower({PRISMETA_BINARY, "--show", "--node", "left", "--broker", address(broker),
                    "--topic", "front", "--osc-port", std::to_string(followerOsc)}) {}

    static std::string address(const BrokerProcess& broker) {
        return "127.0.0.1:" + std::to_string(broker.port());
    }

    // Declared before the processes, which are started with them.
    const int leaderOsc = testing::freeLoopbackPort();
    const int followerOsc = testing::freeLoopbackPort();
    ChildProcess leader;
    ChildProcess follower;
};

// The status node "left" publishes once `done` holds for it; none if it
// does not within the wait.
template <class Done>
std::optional<NodeStatus> followerStatusWhen(const BrokerProcess& broker, Done done) {
    MqttOptions options;
    options.broker = BrokerAddress{"127.0.0.1", broker.port()};
    MqttClient watcher(options);
    watcher.subscribe("front/node/left/status", 0);
    if (!watcher.start()) {
        return std::nullopt;
    }
    std::optional<NodeStatus> status;
    const bool came = waitFor([&] {
        std::vector<MqttEvent> events;
        watcher.takeEvents(events);
        for (const MqttEvent& event : events) {
            if (event.kind == MqttEvent::Kind::message) {
                if (auto read = readNodeStatus(event.payload)) {
                    status = read.value();
                }
            }
        }
        return status && done(*status);
    });
    return came ? status : std::nullopt;
}

TEST(ClusterShowTest, AFollowerShowsTheLeadersEditsAndRefusesItsOwn) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    const std::filesystem::path project = broker.folder() / "show.prismeta.json";
    ProjectModel model;
    testing::fillShow(model, 3);
    ASSERT_TRUE(model.save(project));

    LeaderAndFollower machines(broker, project);
    const int leaderOsc = machines.leaderOsc;
    const int followerOsc = machines.followerOsc;

    // Its status says it shows the output whose node is "left", and names
    // its screens (the two of run-with-two-screens).
    const std::optional<NodeStatus> status = followerStatusWhen(broker, [](const NodeStatus& s) {
        return s.online && !s.outputs.empty() && !s.screens.empty();
    });
    ASSERT_TRUE(status);
    EXPECT_EQ(status->outputs, std::vector<std::string>{model.outputs()[1].name});
    EXPECT_EQ(status->screens, (std::vector<NodeScreen>{{"LEFT", {0, 0, 1280, 720}},
                                                        {"RIGHT", {1280, 0, 1280, 720}}}));

    OscTestClient desk;
    ASSERT_TRUE(waitFor([&] {
        return askOpacity(desk, static_cast<std::uint16_t>(followerOsc)) ==
               model.surfaces()[0].opacity;
    }));

    // An edit on the leader reaches the follower; one on the follower is refused.
    desk.send(static_cast<std::uint16_t>(leaderOsc), "/prismeta/surface/0/opacity",
              {OscArgument::float32(0.125f)});
    ASSERT_TRUE(waitFor(
        [&] { return askOpacity(desk, static_cast<std::uint16_t>(followerOsc)) == 0.125; }));
    desk.send(static_cast<std::uint16_t>(followerOsc), "/prismeta/surface/0/opacity",
              {OscArgument::float32(0.875f)});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(askOpacity(desk, static_cast<std::uint16_t>(followerOsc)), 0.125);

    // The leader killed, the follower goes on showing the last state.
    machines.leader.kill(SIGKILL);
    machines.leader.wait();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(askOpacity(desk, static_cast<std::uint16_t>(followerOsc)), 0.125);
}

TEST(ClusterShowTest, AGoOnTheLeaderReachesTheFollowerWhichReportsItsMissingMedia) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    const std::filesystem::path project = broker.folder() / "cues.prismeta.json";
    const std::string gone = (broker.folder() / "gone.png").string();
    ProjectModel model;
    testing::fillShow(model, 3);
    std::vector<Surface> surfaces = model.surfaces().copy();
    surfaces[2].mediaKind = MediaKind::image;
    surfaces[2].mediaPath = gone;
    model.setSurfaces(surfaces);
    std::vector<Cue> cues(2);
    cues[0].name = "One";
    cues[1].name = "Two";
    for (std::size_t i = 0; i < cues.size(); ++i) {
        CueLook look;
        look.surface = surfaces[0].id;
        look.opacity = i == 0 ? 0.25 : 0.75;
        cues[i].looks.push_back(look);
    }
    model.setCues(cues);
    ASSERT_TRUE(model.save(project));

    // The follower has no project: the cue list comes from the leader too.
    LeaderAndFollower machines(broker, project);
    const int leaderOsc = machines.leaderOsc;
    const int followerOsc = machines.followerOsc;

    const std::optional<NodeStatus> status =
        followerStatusWhen(broker, [](const NodeStatus& s) { return !s.missingMedia.empty(); });
    ASSERT_TRUE(status);
    EXPECT_EQ(status->missingMedia, std::vector<std::string>{gone});

    // The show started on the leader at cue One; a GO there goes to Two here.
    OscTestClient desk;
    const auto follow = static_cast<std::uint16_t>(followerOsc);
    ASSERT_TRUE(waitFor([&] { return askCue(desk, follow) == cues[0].id.text(); }));
    EXPECT_EQ(askOpacity(desk, follow), 0.25);
    desk.send(static_cast<std::uint16_t>(leaderOsc), "/prismeta/cue/go", {});
    ASSERT_TRUE(waitFor([&] { return askCue(desk, follow) == cues[1].id.text(); }));
    EXPECT_TRUE(waitFor([&] { return askOpacity(desk, follow) == 0.75; }, 5s));
    // GO on the follower goes nowhere.
    desk.send(follow, "/prismeta/cue/go", {});
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(askCue(desk, follow), cues[1].id.text());
}

} // namespace
} // namespace prismeta
