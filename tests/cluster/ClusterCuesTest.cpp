// GOs and the blackout of a leader's cue runner reaching followers on a real
// broker, for the same moment on the show clock: ahead of time, late, and
// for a follower that joins after the GO.
#include "ClusterRig.h"

#include "core/Log.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <thread>

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

} // namespace
} // namespace prismeta
