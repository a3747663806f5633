// One universe from several sources: priority, highest-takes-precedence,
// sequence numbers, termination, loss and staged (synchronized) levels.
#include "dmx/UniverseMerge.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace prismeta {
namespace {

DmxSourceId source(std::uint8_t id, DmxProtocol protocol = DmxProtocol::sacn) {
    DmxSourceId s;
    s.protocol = protocol;
    s.bytes[0] = id;
    return s;
}

struct Sender {
    UniverseMerge& merge;
    DmxSourceId id;
    int priority = 100;
    std::uint8_t sequence = 0;

    UniverseMerge::Outcome send(std::vector<std::uint8_t> levels, double now, int sync = 0) {
        UniverseMerge::Packet packet;
        packet.source = id;
        packet.name = "desk";
        packet.priority = priority;
        packet.sequence = sequence++;
        packet.levels = levels;
        packet.syncAddress = sync;
        return merge.receive(packet, now);
    }
};

std::vector<std::uint8_t> first(const UniverseMerge& merge, std::size_t count) {
    return {merge.shown().levels.begin(),
            merge.shown().levels.begin() + static_cast<std::ptrdiff_t>(count)};
}

TEST(UniverseMerge, TheHighestPriorityWinsAndEqualOnesMergeHighestPerChannel) {
    UniverseMerge merge;
    Sender a{merge, source(1)};
    Sender b{merge, source(2)};
    a.send({10, 200, 0}, 0.0);
    b.send({50, 20}, 0.0); // shorter: the rest reads as 0
    EXPECT_EQ(first(merge, 4), (std::vector<std::uint8_t>{50, 200, 0, 0}));

    Sender backup{merge, source(3), 50};
    backup.send({255, 255, 255}, 0.1);
    EXPECT_EQ(first(merge, 3), (std::vector<std::uint8_t>{50, 200, 0})); // lower: ignored
    Sender takeover{merge, source(4), 180};
    takeover.send({1, 2, 3}, 0.2);
    EXPECT_EQ(first(merge, 3), (std::vector<std::uint8_t>{1, 2, 3})); // higher: alone
    merge.terminate(takeover.id, 0.3);
    EXPECT_EQ(first(merge, 3), (std::vector<std::uint8_t>{50, 200, 0}));
    EXPECT_EQ(merge.shown().state, UniverseLevels::State::live);
}

TEST(UniverseMerge, LatePacketsAreDroppedAndASenderThatStartsAgainIsTaken) {
    UniverseMerge merge;
    Sender a{merge, source(1)};
    a.sequence = 250;
    EXPECT_EQ(a.send({1}, 0.0), UniverseMerge::Outcome::shown);
    EXPECT_EQ(a.send({2}, 0.0), UniverseMerge::Outcome::shown); // 251
    a.sequence = 240;                                           // 11 behind
    EXPECT_EQ(a.send({9}, 0.0), UniverseMerge::Outcome::stale);
    a.sequence = 251; // the same again
    EXPECT_EQ(a.send({9}, 0.0), UniverseMerge::Outcome::stale);
    a.sequence = 4; // wrapped past 255
    EXPECT_EQ(a.send({3}, 0.0), UniverseMerge::Outcome::shown);
    a.sequence = 200; // 60 behind: restarted, taken
    EXPECT_EQ(a.send({4}, 0.0), UniverseMerge::Outcome::shown);
    EXPECT_EQ(first(merge, 1), (std::vector<std::uint8_t>{4}));
}

TEST(UniverseMerge, SilentSourcesAreLostAfterTheirProtocolsTimeoutAndTheLastLevelsStay) {
    UniverseMerge merge;
    Sender sacn{merge, source(1)};
    Sender artNet{merge, source(2, DmxProtocol::artNet)};
    sacn.send({100}, 0.0);
    artNet.send({50, 60}, 0.0);
    EXPECT_FALSE(merge.expire(2.4));
    EXPECT_TRUE(merge.expire(2.6)); // sACN's 2.5 s
    EXPECT_EQ(first(merge, 2), (std::vector<std::uint8_t>{50, 60}));
    EXPECT_EQ(merge.sourceCount(DmxProtocol::sacn), 0u);
    EXPECT_FALSE(merge.expire(9.9));
    EXPECT_TRUE(merge.expire(10.1)); // Art-Net's 10 s
    EXPECT_EQ(merge.shown().state, UniverseLevels::State::lost);
    EXPECT_EQ(merge.shown().lostAt, 10.1);
    EXPECT_EQ(first(merge, 2), (std::vector<std::uint8_t>{50, 60}));
    sacn.send({7}, 11.0);
    EXPECT_EQ(merge.shown().state, UniverseLevels::State::live);
}

TEST(UniverseMerge, StagedLevelsShowOnTheirCommitOnly) {
    UniverseMerge merge;
    Sender a{merge, source(1, DmxProtocol::artNet)};
    a.send({1}, 0.0);
    const std::uint64_t changes = merge.shown().changes;
    EXPECT_EQ(a.send({2}, 0.1, 77), UniverseMerge::Outcome::staged);
    EXPECT_EQ(first(merge, 1), (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(merge.shown().changes, changes);
    const DmxSourceId other = source(9, DmxProtocol::artNet);
    merge.commit(DmxProtocol::artNet, 77, &other, 0.2); // another sender's sync
    EXPECT_EQ(first(merge, 1), (std::vector<std::uint8_t>{1}));
    merge.commit(DmxProtocol::sacn, 77, nullptr, 0.2);
    EXPECT_EQ(first(merge, 1), (std::vector<std::uint8_t>{1}));
    merge.commit(DmxProtocol::artNet, 77, &a.id, 0.2);
    EXPECT_EQ(first(merge, 1), (std::vector<std::uint8_t>{2}));
}

TEST(UniverseMerge, AUniverseTakesABoundedNumberOfSources) {
    UniverseMerge merge;
    for (std::uint8_t i = 0; i < UniverseMerge::maxSources; ++i) {
        Sender s{merge, source(i)};
        EXPECT_EQ(s.send({i}, 0.0), UniverseMerge::Outcome::shown);
    }
    Sender late{merge, source(200)};
    EXPECT_EQ(late.send({255}, 0.0), UniverseMerge::Outcome::refused);
    std::vector<DmxSourceStatus> status;
    merge.appendStatus(5, 0.5, status);
    EXPECT_EQ(status.size(), UniverseMerge::maxSources);
    EXPECT_EQ(status.front().universe, 5);
}

// The status's rate counts the last few seconds, so a desk that sends only
// when a level changes does not read 0; each source says where its last
// packet came from and how long ago.
TEST(UniverseMerge, TheStatusCountsPacketsOverTheLastSecondsAndNamesTheSender) {
    struct Case {
        const char* what;
        std::vector<double> sent;
        double now;
        double rate;
    };
    const std::vector<Case> cases = {
        {"44 a second for 10 s", {}, 10.0, 44.0},
        {"one packet on change, 3 s ago", {100.0}, 103.0, 1.0 / 3.0},
        {"two changes in the last seconds", {100.0, 102.5}, 104.5, 2.0 / 4.5},
        {"just seen", {100.0}, 100.2, 1.0},
        {"silent past the window", {100.0}, 106.0, 0.0},
    };
    for (const Case& c : cases) {
        UniverseMerge merge;
        Sender desk{merge, source(1)};
        std::vector<double> sent = c.sent;
        if (sent.empty()) {
            for (int i = 0; i < 440; ++i) {
                sent.push_back(i / 44.0);
            }
        }
        const std::vector<std::uint8_t> levels{1}; // outlives the packets' view of it
        for (double at : sent) {
            UniverseMerge::Packet packet;
            packet.source = desk.id;
            packet.levels = levels;
            packet.address = 0x0a000005; // 10.0.0.5
            merge.receive(packet, at);
        }
        std::vector<DmxSourceStatus> status;
        merge.appendStatus(1, c.now, status);
        ASSERT_EQ(status.size(), 1u) << c.what;
        EXPECT_NEAR(status[0].packetsPerSecond, c.rate, 0.5) << c.what;
        EXPECT_EQ(status[0].packetsPerSecond > 0.0, c.rate > 0.0) << c.what;
        EXPECT_EQ(status[0].address, 0x0a000005u) << c.what;
        EXPECT_NEAR(status[0].sinceLastPacket, c.now - sent.back(), 1e-9) << c.what;
    }
}

} // namespace
} // namespace prismeta
