// Times cross between a machine's steady clock and the show clock with a
// reading of both at one moment: a pair read apart shifts every GO and video
// start by the gap, differently on each machine.
#include "ClusterRig.h"

#include "cluster/CueTiming.h"
#include "core/Log.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Now = std::chrono::steady_clock::time_point;

double steadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A show clock running with the steady clock, a fixed offset apart, whose
// first read is held up 30 ms (the thread preempted between the two reads).
class HeldUpClock final : public RealTimeClock {
public:
    static constexpr std::int64_t offset = 1'765'000'000'000'000;
    std::int64_t nowMicros() const override {
        if (!heldUp_) {
            heldUp_ = true;
            std::this_thread::sleep_for(30ms);
        }
        return std::llround(steadyNow() * 1e6) + offset;
    }

private:
    mutable bool heldUp_ = false;
};

TEST(ClockReadingTest, BothClocksAreReadAtOneMoment) {
    HeldUpClock clock;
    const ClockReading reading = readClocks(clock);
    // The pair names one moment to well under a frame (read apart: 30 ms).
    EXPECT_NEAR(static_cast<double>(reading.showMicros - HeldUpClock::offset),
                reading.steadySeconds * 1e6, 2000.0);
}

// A follower whose frame began 40 ms before it handled the GO (a busy frame)
// still starts it at the leader's moment.
TEST(ClockReadingTest, AFollowersBusyFrameDoesNotMoveTheGo) {
    testing::BrokerProcess broker;
    ASSERT_TRUE(broker.running());
    testing::ClusterRig rig(broker);
    ScopedLogSink quiet([](std::string_view) {});
    SystemRealTimeClock system;
    SteadyShowClock steady;
    ManualWallClock wall;
    ProjectModel leaderModel;
    testing::fillShow(leaderModel, 2);
    Cue cue;
    CueLook look;
    look.surface = leaderModel.surfaces()[0].id;
    look.opacity = 0.5;
    cue.looks.push_back(look);
    leaderModel.setCues({cue});
    CueRunner runner(leaderModel, steady, wall);
    runner.setGoAhead(0.1);
    auto leader = rig.leader(leaderModel, system);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, system, "left");
    ASSERT_TRUE(leader && follower);
    const auto lead = [&](Now now) {
        leader->setCueState(runner.state(), now);
        leader->update(now);
    };
    const auto follow = [&](Now now) { follower->update(now - 40ms); };
    ASSERT_TRUE(runner.go());
    ASSERT_TRUE(testing::ClusterRig::pumpUntil(
        {lead, follow}, [&] { return follower->cues().state().liveCue == cue.id; }));
    EXPECT_NEAR(follower->cues().state().goTime, runner.state().goTime, 0.001);
}

} // namespace
} // namespace prismeta
