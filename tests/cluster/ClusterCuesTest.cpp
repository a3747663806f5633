// GOs and the blackout of a leader's cue runner reaching followers on a real
// broker, for the same moment on the show clock: ahead of time, late, and
// for a follower that joins after the GO; and the cues themselves, one
// message each, in the leader's order.
#include "ClusterRig.h"

#include "core/Log.h"
#include "core/RecordText.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using testing::BrokerProcess;
using testing::ClusterRig;
using testing::fillShow;
using testing::sameShow;
using Now = std::chrono::steady_clock::time_point;

TEST(ClusterCuesTest, AGoAndTheBlackoutStartOnEveryMachineAtOneMoment) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    ClusterRig rig(broker);
    ScopedLogSink quiet([](std::string_view) {});
    SystemRealTimeClock system;
    SteadyShowClock steady;
    ManualWallClock wall;
    wall.seconds = 1'765'000'000;

    ProjectModel leaderModel;
    fillShow(leaderModel, 4);
    const Surface before = leaderModel.surfaces()[0];
    Cue cue;
    cue.name = "Red";
    cue.fade = 0.5;
    CueLook look;
    look.surface = before.id;
    look.opacity = 1.0;
    cue.looks.push_back(look);
    leaderModel.setCues({cue});
    CueRunner runner(leaderModel, steady, wall);
    runner.setGoAhead(0.1);

    auto leader = rig.leader(leaderModel, system);
    ProjectModel leftModel;
    ProjectModel rightModel;
    auto left = rig.follower(leftModel, system, "left");
    auto right = rig.follower(rightModel, system, "right");
    const auto lead = [&](Now now) {
        leader->setCueState(runner.state(), now);
        leader->update(now);
    };
    const auto follow = [](std::unique_ptr<ClusterFollower>& node) {
        return [&node](Now now) { node->update(now); };
    };
    ASSERT_TRUE(ClusterRig::pumpUntil({lead, follow(left), follow(right)}, [&] {
        return sameShow(leaderModel, leftModel) && sameShow(leaderModel, rightModel) &&
               rightModel.cues() == leaderModel.cues();
    }));
    EXPECT_EQ(leftModel.cues(), leaderModel.cues()) << "the cue list travels too";
    EXPECT_FALSE(left->cues().state().liveCue);

    ASSERT_TRUE(runner.go());
    const ShowState& state = runner.state();
    const auto arrived = [&](const ClusterFollower& node) {
        return node.cues().state().liveCue == cue.id && node.cues().crossfade() &&
               node.cues().crossfade()->size() == 1;
    };
    ASSERT_TRUE(ClusterRig::pumpUntil({lead, follow(left), follow(right)},
                                      [&] { return arrived(*left) && arrived(*right); }));
    const Surface after = leaderModel.surfaces()[0];
    for (const ClusterFollower* node : {left.get(), right.get()}) {
        // The same moment as the leader's (one machine: one clock), to
        // well under a frame.
        EXPECT_NEAR(node->cues().state().goTime, state.goTime, 0.001);
        EXPECT_DOUBLE_EQ(node->cues().state().fade, 0.5);
        // From the look shown before the GO to the cue's, over its fade.
        const Crossfade& fade = *node->cues().crossfade();
        const double go = node->cues().state().goTime;
        EXPECT_DOUBLE_EQ(fade.onScreen(after, go - 0.001).opacity, before.opacity);
        EXPECT_NEAR(fade.onScreen(after, go + 0.25).opacity, (before.opacity + 1.0) / 2.0, 1e-9);
        EXPECT_DOUBLE_EQ(fade.onScreen(after, go + 0.5).opacity, 1.0);
    }

    // A cue edit reaches the followers.
    std::vector<Cue> edited = leaderModel.cues();
    edited[0].fade = 1.5;
    leaderModel.setCues(edited);
    ASSERT_TRUE(ClusterRig::pumpUntil({lead, follow(left)},
                                      [&] { return leftModel.cues() == leaderModel.cues(); }));

    runner.setBlackout(true, 2.0);
    ASSERT_TRUE(ClusterRig::pumpUntil({lead, follow(left), follow(right)}, [&] {
        return left->cues().state().blackout.on && right->cues().state().blackout.on;
    }));
    EXPECT_NEAR(left->cues().state().blackout.start, state.blackout.start, 0.001);
    EXPECT_DOUBLE_EQ(left->cues().state().blackout.length, 2.0);

    // A machine that starts later finds the live cue and the blackout
    // retained, at their moments; the fade long over, it shows the new look.
    std::this_thread::sleep_for(600ms);
    ProjectModel lateModel;
    auto late = rig.follower(lateModel, system, "late");
    ASSERT_TRUE(ClusterRig::pumpUntil({lead, follow(late)}, [&] {
        return sameShow(leaderModel, lateModel) && late->cues().state().blackout.on &&
               late->cues().state().liveCue == cue.id;
    }));
    EXPECT_NEAR(late->cues().state().goTime, state.goTime, 0.001);
    const double now = steady.now();
    const auto& lateFade = late->cues().crossfade();
    EXPECT_DOUBLE_EQ(lateFade ? lateFade->onScreen(lateModel.surfaces()[0], now).opacity
                              : lateModel.surfaces()[0].opacity,
                     1.0);
}

TEST(ClusterCuesTest, AShaderEventFiresOnTheSameFrameOnEveryMachine) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    ScopedLogSink quiet([](std::string_view) {});
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    fillShow(leaderModel, 2);
    const Uuid surface = leaderModel.surfaces()[1].id;
    leaderModel.shaderEvents().setDelay(0.1);
    auto leader = rig.leader(leaderModel, clock);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    const std::vector<std::function<void(Now)>> frames = {[&](Now now) { leader->update(now); },
                                                          [&](Now now) { follower->update(now); }};
    ASSERT_TRUE(
        ClusterRig::pumpUntil(frames, [&] { return sameShow(leaderModel, followerModel); }));

    const auto steadyNow = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    const double before = steadyNow();
    leaderModel.shaderEvents().trigger(surface, "bang");
    const double after = steadyNow();
    ASSERT_TRUE(ClusterRig::pumpUntil(
        frames, [&] { return followerModel.shaderEvents().pending() == 1; }, 5s));
    // Both fire on the first frame at the trigger's moment, not earlier:
    // frames 2 ms apart around it, well inside one frame of 16.7 ms.
    for (const ProjectModel* model : {&leaderModel, &followerModel}) {
        const ShaderEvents& events = model->shaderEvents();
        events.settle(before + 0.1 - 0.002);
        EXPECT_EQ(events.lastTrigger(surface, "bang"), 0u);
        events.settle(after + 0.1 + 0.002);
        EXPECT_GT(events.lastTrigger(surface, "bang"), 0u);
    }
    // Once, however often the show message comes again.
    leader->setShowState(leader->showState()); // unchanged
    ShowStateMessage again = leader->showState();
    again.videoStarts[surface] = clock.nowMicros();
    leader->setShowState(again);
    ASSERT_TRUE(ClusterRig::pumpUntil(
        frames, [&] { return follower->showState().videoStarts.contains(surface); }));
    EXPECT_EQ(followerModel.shaderEvents().pending(), 0u);
}

// What a client on the broker heard since the last call: messages only.
std::vector<MqttEvent> heard(MqttClient& client) {
    std::vector<MqttEvent> events;
    client.takeEvents(events);
    std::erase_if(events, [](const MqttEvent& e) { return e.kind != MqttEvent::Kind::message; });
    return events;
}

TEST(ClusterCuesTest, EachCueTravelsAloneAndFollowersKeepTheLeadersOrder) {
    BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    ClusterRig rig(broker);
    ScopedLogSink quiet([](std::string_view) {});
    SystemRealTimeClock clock;
    const ClusterTopics topics = ClusterTopics::make(ClusterRig::topic).value();

    ProjectModel leaderModel;
    fillShow(leaderModel, 2);
    std::vector<Cue> cues(4);
    for (std::size_t i = 0; i < cues.size(); ++i) {
        cues[i].name = "Cue " + std::to_string(i + 1);
        CueLook look;
        look.surface = leaderModel.surfaces()[i % 2].id;
        look.opacity = 0.25 * static_cast<double>(i);
        cues[i].looks.push_back(look);
    }
    leaderModel.setCues(cues);
    auto leader = rig.leader(leaderModel, clock);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    // Listens to the records and the order, as a follower does.
    MqttClient spy(rig.mqtt());
    spy.subscribe(topics.root() + "/cue/+", 0);
    spy.subscribe(topics.project(), 0);
    ASSERT_TRUE(spy.start());
    const std::vector<std::function<void(Now)>> frames = {[&](Now now) { leader->update(now); },
                                                          [&](Now now) { follower->update(now); }};
    const auto settled = [&] {
        return followerModel.cues() == leaderModel.cues() && sameShow(leaderModel, followerModel);
    };
    const auto settle = [&] {
        const bool done = ClusterRig::pumpUntil(frames, settled);
        ClusterRig::pumpUntil(
            frames, [] { return false; }, 150ms); // stragglers
        return done;
    };
    ASSERT_TRUE(settle());
    ASSERT_TRUE(spy.connected());
    heard(spy);

    // An edit of one cue is that cue's message alone.
    std::vector<Cue> edited = leaderModel.cues();
    edited[2].name = "Finale";
    edited[2].looks[0].color = RGBA{1.0f, 0.0f, 0.0f, 1.0f};
    leaderModel.setCues(edited);
    ASSERT_TRUE(settle());
    std::vector<MqttEvent> messages = heard(spy);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].topic, topics.cue(edited[2].id));
    EXPECT_EQ(readCueText(messages[0].payload).value(), edited[2]);

    // A reorder is the order alone, and the follower's list follows it.
    std::vector<Cue> reordered = {edited[3], edited[0], edited[2], edited[1]};
    leaderModel.setCues(reordered);
    ASSERT_TRUE(settle());
    messages = heard(spy);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].topic, topics.project());
    EXPECT_EQ(followerModel.cues(), reordered);

    // A deleted cue: the order without it, then its record cleared.
    const Uuid gone = reordered[1].id;
    reordered.erase(reordered.begin() + 1);
    leaderModel.setCues(reordered);
    ASSERT_TRUE(settle());
    messages = heard(spy);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].topic, topics.project());
    EXPECT_EQ(messages[1].topic, topics.cue(gone));
    EXPECT_TRUE(messages[1].payload.empty());

    // A machine that joins late finds every cue retained, in order, and the
    // deleted one no longer there.
    MqttClient lateSpy(rig.mqtt());
    lateSpy.subscribe(topics.root() + "/cue/+", 0);
    ASSERT_TRUE(lateSpy.start());
    ProjectModel lateModel;
    auto late = rig.follower(lateModel, clock, "late");
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {[&](Now now) { leader->update(now); }, [&](Now now) { late->update(now); }},
        [&] { return lateModel.cues() == reordered; }));
    ClusterRig::pumpUntil(
        {}, [] { return false; }, 150ms);
    messages = heard(lateSpy);
    EXPECT_EQ(messages.size(), reordered.size());
    for (const MqttEvent& message : messages) {
        EXPECT_NE(message.topic, topics.cue(gone));
        EXPECT_TRUE(message.retained);
    }
}

} // namespace
} // namespace prismeta
