// Leaders and followers on a real broker: late join, restarts of a follower
// and of the broker, an edit storm, a killed leader, a second leader, bad
// messages from a stranger, wrong credentials and the clock comparison.
#include "ClusterRig.h"

#include "core/Log.h"
#include "core/RecordText.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using testing::BrokerProcess;
using testing::ClusterRig;
using testing::fillShow;
using testing::LogLines;
using testing::sameShow;
using testing::updater;

TEST(ClusterBrokerTest, LateJoinFollowsEveryChangeAndSurvivesRestarts) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;

    ProjectModel leaderModel;
    fillShow(leaderModel, 20);
    std::vector<Cue> cues(3);
    cues[1].fade = 2.0;
    leaderModel.setCues(cues);
    const auto sameCues = [&leaderModel](const ProjectModel& model) {
        return model.cues() == leaderModel.cues();
    };
    auto leader = rig.leader(leaderModel, clock);
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*leader)}, [&] { return leader->role() == ClusterLeader::Role::leading; }));

    // Joins after everything was published: complete from the retained state.
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)}, [&] {
        return sameShow(leaderModel, followerModel) && sameCues(followerModel);
    }));
    EXPECT_EQ(followerModel.outputs()[1].node, std::optional<std::string>("left"));
    EXPECT_TRUE(follower->leaderPresent());

    // The show clock's state travels too.
    ShowStateMessage show;
    show.videoStarts[leaderModel.surfaces()[2].id] = clock.nowMicros() + 100'000;
    leader->setShowState(show);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return follower->showState() == show; }));

    // Every kind of change: a field, an addition, a deletion, a reorder,
    // the canvas, the outputs, undo.
    leaderModel.pushUndo();
    std::vector<Surface> list = leaderModel.surfaces().copy();
    list[3].color = RGBA{1, 0, 0, 1};
    list.erase(list.begin() + 5);
    list.push_back(Surface());
    std::swap(list[0], list[1]);
    leaderModel.setSurfaces(list);
    leaderModel.setCanvasSize({3840, 1080});
    std::vector<OutputConfig> outputs = leaderModel.outputs();
    outputs.pop_back();
    leaderModel.setOutputs(outputs);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));
    leaderModel.undo();
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));

    // A follower that restarts is complete again at once.
    follower.reset();
    ProjectModel restartedModel;
    auto restarted = rig.follower(restartedModel, clock, "left");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*restarted)},
                                      [&] { return sameShow(leaderModel, restartedModel); }));

    // The broker restarts without persistence: followers keep showing, the
    // leader publishes everything again, a newcomer is complete.
    broker.stop();
    ClusterRig::pumpUntil({updater(*leader), updater(*restarted)},
                          [&] { return !restarted->connected(); });
    EXPECT_TRUE(sameShow(leaderModel, restartedModel));
    ASSERT_TRUE(broker.restart());
    leaderModel.replaceSurface(0, [&] {
        Surface s = leaderModel.surfaces()[0];
        s.name = "after the restart";
        return s;
    }());
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*restarted)},
                                      [&] { return sameShow(leaderModel, restartedModel); }));
    ProjectModel newcomerModel;
    auto newcomer = rig.follower(newcomerModel, clock, "right");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*newcomer)}, [&] {
        return sameShow(leaderModel, newcomerModel) && sameCues(newcomerModel);
    }));
    EXPECT_GE(log.containing("lost the broker"), 2u);
}

TEST(ClusterBrokerTest, EditStormEndsInTheSameShow) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    fillShow(leaderModel, 200);
    auto leader = rig.leader(leaderModel, clock);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));

    // 1,000 changes in one second, each a fader step on a surface, with the
    // leader's frames at 1 ms (several changes a frame, as from OSC).
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
        Surface s = leaderModel.surfaces()[static_cast<std::size_t>(i) % 200];
        s.opacity = static_cast<double>(i) / 1000.0;
        leaderModel.replaceSurface(static_cast<std::size_t>(i) % 200, s);
        if (i % 3 == 0) {
            leader->update(std::chrono::steady_clock::now());
            follower->update(std::chrono::steady_clock::now());
        }
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000 * (i + 1)));
    }
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));
    EXPECT_EQ(log.containing("cluster ignored"), 0u);
}

TEST(ClusterBrokerTest, AKilledLeaderLeavesFollowersRunningAndTheLeadFree) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    auto child = std::make_unique<testing::ChildProcess>(std::vector<std::string>{
        PRISMETA_TEST_LEADER, std::to_string(broker.port()), ClusterRig::topic, "12"});
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*follower)}, [&] {
        return follower->replica().complete() && followerModel.surfaces().size() == 12;
    }));
    ASSERT_TRUE(follower->leaderPresent());

    // A second leader on the topic is refused while the first lives.
    ProjectModel secondModel;
    fillShow(secondModel, 2);
    auto second = rig.leader(secondModel, clock);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*second), updater(*follower)}, [&] {
        return second->role() == ClusterLeader::Role::refused;
    }));
    EXPECT_NE(second->refusal().find("already has a leader"), std::string::npos);
    EXPECT_EQ(log.containing("already has a leader"), 1u);
    second.reset();

    // Killed without a goodbye: the broker sends its will after 1.5
    // keep-alives (7.5 s).
    child->kill(SIGKILL);
    child->wait();
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*follower)}, [&] { return !follower->leaderPresent(); }, 15s));
    EXPECT_EQ(followerModel.surfaces().size(), 12u); // still showing
    EXPECT_EQ(log.containing("leader left"), 1u);

    // The lead is free again; the new leader's show replaces the old one.
    ProjectModel thirdModel;
    fillShow(thirdModel, 3);
    auto third = rig.leader(thirdModel, clock);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*third), updater(*follower)}, [&] {
        return third->role() == ClusterLeader::Role::leading && sameShow(thirdModel, followerModel);
    }));
}

TEST(ClusterBrokerTest, ALeaderClearsTheRecordsAnEarlierRunLeft) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    const ClusterTopics topics = ClusterTopics::make(ClusterRig::topic).value();
    // An earlier run of the leader, with another show, quits.
    ProjectModel earlierModel;
    fillShow(earlierModel, 5);
    earlierModel.setCues(std::vector<Cue>(2));
    {
        auto earlier = rig.leader(earlierModel, clock);
        ASSERT_TRUE(ClusterRig::pumpUntil({updater(*earlier)}, [&] {
            return earlier->role() == ClusterLeader::Role::leading && earlier->published() > 10;
        }));
        ClusterRig::pumpUntil(
            {updater(*earlier)}, [] { return false; }, 200ms);
    }
    // This run's show: two of the earlier surfaces kept, the rest new.
    ProjectModel model;
    fillShow(model, 3);
    std::vector<Surface> surfaces = model.surfaces().copy();
    surfaces[0] = earlierModel.surfaces()[0];
    surfaces[1] = earlierModel.surfaces()[1];
    model.setSurfaces(surfaces);
    auto leader = rig.leader(model, clock);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader)}, [&] {
        return log.containing("that this show does not hold") == 1;
    })) << "the claim left by a leader that quit must not refuse the next";

    // What the broker keeps now: this show's records and nothing else.
    MqttClient spy(rig.mqtt());
    spy.subscribe(topics.root() + "/+/+", 0);
    ASSERT_TRUE(spy.start());
    std::vector<MqttEvent> events;
    ClusterRig::pumpUntil(
        {updater(*leader)}, [] { return false; }, 500ms);
    spy.takeEvents(events);
    // (The clears may still be on their way when it subscribes.)
    std::set<std::string> kept;
    for (const MqttEvent& event : events) {
        if (event.kind == MqttEvent::Kind::message && !event.payload.empty()) {
            kept.insert(event.topic);
        } else if (event.kind == MqttEvent::Kind::message) {
            kept.erase(event.topic);
        }
    }
    std::set<std::string> expected;
    for (const Surface& surface : model.surfaces()) {
        expected.insert(topics.surface(surface.id));
    }
    for (const OutputConfig& output : model.outputs()) {
        expected.insert(topics.output(output.id));
    }
    EXPECT_EQ(kept, expected);
    // 3 surfaces, 2 outputs and 2 cues of the earlier show.
    EXPECT_EQ(log.containing("cleared 7 records"), 1u) << ::testing::PrintToString(log.lines);
}

TEST(ClusterBrokerTest, BadMessagesFromAStrangerAreIgnoredQuietly) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    fillShow(leaderModel, 4);
    auto leader = rig.leader(leaderModel, clock);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));

    MqttClient stranger(rig.mqtt());
    ASSERT_TRUE(stranger.start());
    ASSERT_TRUE(ClusterRig::pumpUntil({}, [&] { return stranger.connected(); }));
    const ClusterTopics topics = ClusterTopics::make(ClusterRig::topic).value();
    const Uuid first = leaderModel.surfaces()[0].id;
    for (int i = 0; i < 300; ++i) {
        stranger.publish(topics.surface(first), "{\"id\": " + std::to_string(i), false);
        stranger.publish(topics.project(), "[]", false);
        stranger.publish(topics.clockPong("left"), "{\"t1\":\"x\"}", false);
        stranger.publish(topics.nodeStatus("evil"), "nonsense", false);
    }
    stranger.publish(topics.surface(first), std::string(17 * 1024 * 1024, 'x'), false);
    // Everything arrived (the large one last: it takes seconds on a busy
    // machine), then long enough for a rate-limit window to end.
    EXPECT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return log.containing("oversized") > 0; }));
    ClusterRig::pumpUntil(
        {updater(*leader), updater(*follower)}, [] { return false; }, 2500ms);
    EXPECT_TRUE(sameShow(leaderModel, followerModel));
    // Rate-limited: a first line per kind and a summary, not hundreds.
    const std::size_t lines = log.containing("cluster ignored");
    EXPECT_GE(lines, 3u);
    EXPECT_LE(lines, 12u);
    EXPECT_GE(log.containing("oversized"), 1u);

    // The show still follows its leader afterwards.
    leaderModel.setBackgroundOpacity(0.75);
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)},
                                      [&] { return sameShow(leaderModel, followerModel); }));
}

TEST(ClusterBrokerTest, AShowThatStaysIncompleteIsSaidOnce) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    // The order lists two surfaces; one of them never comes (as when a
    // broker drops what it cannot queue for a joining machine).
    Surface arrived;
    Surface lost;
    ProjectStateMessage project;
    project.surfaces = {arrived.id, lost.id};
    MqttClient leader(rig.mqtt());
    ASSERT_TRUE(leader.start());
    ASSERT_TRUE(ClusterRig::pumpUntil({}, [&] { return leader.connected(); }));
    const ClusterTopics topics = ClusterTopics::make(ClusterRig::topic).value();
    leader.publish(topics.project(), writeProjectState(project).value(), true);
    leader.publish(topics.surface(arrived.id), writeSurfaceText(arrived).value(), true);

    ProjectModel model;
    auto follower = rig.follower(model, clock, "left", 300ms);
    ClusterRig::pumpUntil(
        {updater(*follower)}, [] { return false; }, 1500ms);
    EXPECT_EQ(log.containing("show is incomplete: 1 of its records"), 1u);

    leader.publish(topics.surface(lost.id), writeSurfaceText(lost).value(), true);
    EXPECT_TRUE(ClusterRig::pumpUntil({updater(*follower)}, [&] {
        return log.containing("the leader's show is complete") == 1;
    }));
}

TEST(ClusterBrokerTest, WrongCredentialsAreRefused) {
    const std::filesystem::path passwords =
        std::filesystem::temp_directory_path() / ("prismeta-passwd-" + std::to_string(::getpid()));
    const std::string command = std::string(PRISMETA_MOSQUITTO_PASSWD) + " -c -b " +
                                passwords.string() + " stage right-password";
    ASSERT_EQ(std::system(command.c_str()), 0);
    BrokerProcess broker({"allow_anonymous false", "password_file " + passwords.string()});
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;

    MqttOptions wrong = rig.mqtt();
    wrong.credentials.user = "stage";
    wrong.credentials.password = "guess";
    ProjectModel model;
    ClusterFollower::Options options;
    options.mqtt = wrong;
    options.node = "left";
    ClusterFollower refused(model, clock, ClusterTopics::make(ClusterRig::topic).value(), options);
    ASSERT_TRUE(refused.start());
    // One line, however often it is tried again: who refused, why, and
    // what to check.
    ClusterRig::pumpUntil(
        {updater(refused)}, [] { return false; }, 2500ms);
    EXPECT_FALSE(refused.connected());
    const std::string who =
        "Prismeta: the broker 127.0.0.1:" + std::to_string(broker.port()) + " refused";
    ASSERT_EQ(log.containing(who), 1u) << ::testing::PrintToString(log.lines);
    const std::string& line = *std::find_if(log.lines.begin(), log.lines.end(), [&](auto& text) {
        return text.find(who) != std::string::npos;
    });
    EXPECT_NE(line.find("wrong user name or password (user \"stage\")"), std::string::npos) << line;
    EXPECT_NE(line.find("password_file"), std::string::npos) << line;
    EXPECT_EQ(log.containing("ignored"), 0u);
    EXPECT_NE(refused.waiting()->find("refused"), std::string::npos);

    options.mqtt.credentials.password = "right-password";
    options.node = "right";
    ClusterFollower accepted(model, clock, ClusterTopics::make(ClusterRig::topic).value(), options);
    ASSERT_TRUE(accepted.start());
    EXPECT_TRUE(ClusterRig::pumpUntil({updater(accepted)}, [&] { return accepted.connected(); }));
    std::filesystem::remove(passwords);
}

TEST(ClusterBrokerTest, FollowersMeasureTheirClockAgainstTheLeader) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock system;
    // The leader's clock runs 5 ms ahead of the follower's.
    OffsetRealTimeClock ahead(system, 5'000);
    ProjectModel leaderModel;
    fillShow(leaderModel, 1);
    auto leader = rig.leader(leaderModel, ahead);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, system, "left");
    follower->setStatus([] {
        NodeStatus status;
        status.framesPerSecond = 60;
        status.missingMedia = {"media/intro.mov"};
        return status;
    }());
    // Frames of 16 ms on both sides, as in the application: the wait for a
    // frame must not pass for network delay (it would bias the offset by up
    // to half a frame).
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*leader), updater(*follower)},
        [&] {
            const auto& nodes = leader->nodes().nodes();
            const auto found = nodes.find("left");
            return found != nodes.end() && found->second.status.clockOffsetMillis &&
                   follower->clockOffset() && follower->clockOffset()->delayMicros < 5'000;
        },
        10s, 16ms));
    const auto offset = follower->clockOffset();
    ASSERT_TRUE(offset);
    EXPECT_NEAR(static_cast<double>(offset->offsetMicros), 5'000.0,
                static_cast<double>(offset->delayMicros) / 2.0 + 200.0);
    EXPECT_NEAR(static_cast<double>(offset->offsetMicros), 5'000.0, 2'500.0);
    // Its outputs (the one whose node is "left"), what it misses, its clock.
    ASSERT_TRUE(ClusterRig::pumpUntil({updater(*leader), updater(*follower)}, [&] {
        return !leader->nodes().nodes().at("left").status.outputs.empty();
    }));
    const auto& entry = leader->nodes().nodes().at("left");
    EXPECT_EQ(entry.status.outputs, std::vector<std::string>{leaderModel.outputs()[1].name});
    ASSERT_EQ(entry.warnings.size(), 2u);
    EXPECT_EQ(entry.warnings[0], "misses media (1)");
    EXPECT_NE(entry.warnings[1].find("ms off"), std::string::npos);

    // Leaving says "offline".
    follower.reset();
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*leader)}, [&] { return !leader->nodes().nodes().at("left").status.online; }));
}

} // namespace
} // namespace prismeta
