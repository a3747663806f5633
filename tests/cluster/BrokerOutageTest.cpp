// A broker that is not there when the machines start, a host name that does
// not resolve, and a broker that restarts mid-show: each said at once and
// why, tried again for as long as it takes, and followed again within two
// seconds of the broker accepting connections.
#include "ClusterRig.h"

#include "cues/ShowState.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
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
using Steady = std::chrono::steady_clock;

TEST(BrokerOutageTest, AnAbsentBrokerIsSaidAtOnceAndJoinedWhenItComes) {
    BrokerProcess broker;
    broker.stop(); // its port, with nothing listening
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    fillShow(leaderModel, 3);
    ProjectModel followerModel;
    auto leader = rig.leader(leaderModel, clock);
    auto follower = rig.follower(followerModel, clock, "left");
    ASSERT_TRUE(leader && follower);

    const std::string where = "127.0.0.1:" + std::to_string(broker.port());
    const std::string line = "Prismeta: cannot reach the broker " + where +
                             ": connection refused: nothing listens on port " +
                             std::to_string(broker.port());
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*leader), updater(*follower)}, [&] { return log.containing(line) == 2; }, 2s));
    // Tried again and again, said once.
    ClusterRig::pumpUntil(
        {updater(*leader), updater(*follower)}, [] { return false; }, 2s);
    EXPECT_EQ(log.containing("cannot reach"), 2u);
    EXPECT_EQ(leader->broker().state(), BrokerConnection::State::connecting);
    EXPECT_EQ(follower->waiting(), "Waiting for show \"shows/test\" on broker " + where +
                                       ": connection refused: nothing listens on port " +
                                       std::to_string(broker.port()));

    ASSERT_TRUE(broker.restart());
    ASSERT_TRUE(ClusterRig::pumpUntil(
        {updater(*leader), updater(*follower)},
        [&] { return sameShow(leaderModel, followerModel); }, 5s));
    EXPECT_FALSE(follower->waiting());
    EXPECT_EQ(log.containing("reached the broker " + where), 2u);
}

TEST(BrokerOutageTest, AHostNameThatDoesNotResolveIsLookedUpAgainAndAgain) {
    MqttOptions options;
    options.broker = BrokerAddress{"no-such-host.invalid", 1883};
    MqttClient client(options);
    ASSERT_TRUE(client.start()); // not a reason to stop the program
    std::vector<MqttEvent> events;
    const auto end = Steady::now() + 2s;
    while (Steady::now() < end) {
        client.takeEvents(events);
        std::this_thread::sleep_for(20ms);
    }
    // 250 ms, 500 ms, then every second: at least three lookups in 2 s.
    ASSERT_GE(events.size(), 3u);
    for (const MqttEvent& event : events) {
        EXPECT_EQ(event.kind, MqttEvent::Kind::unreachable);
        EXPECT_NE(event.reason.find("the host name \"no-such-host.invalid\" does not resolve"),
                  std::string::npos)
            << event.reason;
    }
}

TEST(BrokerOutageTest, AfterABrokerRestartEveryoneFollowsWithinTwoSeconds) {
    BrokerProcess broker;
    ClusterRig rig(broker);
    LogLines log;
    SystemRealTimeClock clock;
    ProjectModel leaderModel;
    fillShow(leaderModel, 4);
    auto leader = rig.leader(leaderModel, clock);
    ProjectModel followerModel;
    auto follower = rig.follower(followerModel, clock, "left");
    const std::vector<std::function<void(Steady::time_point)>> both = {updater(*leader),
                                                                       updater(*follower)};
    ASSERT_TRUE(ClusterRig::pumpUntil(both, [&] {
        return leader->nodes().nodes().contains("left") && sameShow(leaderModel, followerModel);
    }));
    EXPECT_EQ(leader->broker().state(), BrokerConnection::State::connected);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::int64_t stopped = clock.nowMicros();
        broker.stop();
        ASSERT_TRUE(ClusterRig::pumpUntil(both, [&] {
            return leader->broker().state() == BrokerConnection::State::lost &&
                   !follower->connected();
        }));
        // The leader shows the loss, since when, and knows nothing of the nodes.
        EXPECT_NEAR(static_cast<double>(leader->broker().lostAtMicros()),
                    static_cast<double>(stopped), 2e6);
        EXPECT_FALSE(leader->nodes().nodes().at("left").known);
        EXPECT_FALSE(follower->waiting()) << "the show had arrived: it goes on";

        // A GO while the broker is away, then the broker back, as a show
        // network's broker restarts: about a second later.
        std::this_thread::sleep_for(1s);
        ShowState go;
        go.liveCue = Uuid::random();
        go.goTime = std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
        leader->setCueState(go, Steady::now());
        ASSERT_TRUE(broker.restart());
        const Steady::time_point accepting = Steady::now();
        ASSERT_TRUE(ClusterRig::pumpUntil(both, [&] {
            return follower->showState().go && follower->showState().go->cue == *go.liveCue;
        }));
        const double seconds = std::chrono::duration<double>(Steady::now() - accepting).count();
        std::printf("broker restart: the follower had the new GO %.3f s after the broker "
                    "accepted connections\n",
                    seconds);
        EXPECT_LT(seconds, 2.0);
        // The statuses come again: the node is known again.
        ASSERT_TRUE(ClusterRig::pumpUntil(both, [&] {
            return leader->nodes().nodes().at("left").known &&
                   leader->broker().state() == BrokerConnection::State::connected;
        }));
    }
    EXPECT_EQ(log.containing("lost the broker"), 4u);
}

} // namespace
} // namespace prismeta
