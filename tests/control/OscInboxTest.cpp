#include "control/OscInbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace prismeta {
namespace {

OscMessage edit(std::string address, float value) {
    OscMessage m;
    m.address = std::move(address);
    m.arguments = {OscArgument::float32(value)};
    return m;
}

OscMessage action(std::string address) {
    OscMessage m;
    m.address = std::move(address);
    return m;
}

std::vector<OscMessage> takeAll(OscInbox& inbox) {
    std::vector<OscMessage> out;
    while (inbox.take(1000, out)) {
    }
    return out;
}

TEST(OscInbox, AFullQueueDropsOlderValuesOfAFieldFirst) {
    OscInbox inbox({4, std::size_t{1} << 20}, [] {});
    ASSERT_TRUE(inbox.push(edit("/a", 1)));
    ASSERT_TRUE(inbox.push(action("/prismeta/undo")));
    ASSERT_TRUE(inbox.push(edit("/b", 1)));
    ASSERT_TRUE(inbox.push(edit("/a", 2)));
    // Full: a new /a pushes out the oldest /a; the undo and /b stay.
    EXPECT_TRUE(inbox.push(edit("/a", 3)));
    // Another field gets in by the older /a, which /a 3 overwrites anyway.
    EXPECT_TRUE(inbox.push(edit("/c", 1)));
    // Now every queued message is needed: no room for an action, nor for a
    // field of its own (the same address with other type tags is another).
    EXPECT_FALSE(inbox.push(action("/prismeta/redo")));
    OscMessage colour = edit("/b", 1);
    colour.arguments.push_back(OscArgument::float32(2));
    EXPECT_FALSE(inbox.push(colour));

    const OscInbox::Drops drops = inbox.takeDrops();
    EXPECT_EQ(drops.superseded, 2u);
    EXPECT_EQ(drops.refused, 2u);
    EXPECT_EQ(inbox.takeDrops().refused, 0u) << "counted once";

    const std::vector<OscMessage> left = takeAll(inbox);
    ASSERT_EQ(left.size(), 4u);
    EXPECT_EQ(left[0].address, "/prismeta/undo");
    EXPECT_EQ(left[1].address, "/b");
    EXPECT_EQ(left[2].arguments, (OscArguments{OscArgument::float32(3)}));
    EXPECT_EQ(left[3].address, "/c");
    EXPECT_EQ(inbox.highWater(), 4u);
}

TEST(OscInbox, ACommandGetsThroughAFloodOfOneField) {
    OscInbox inbox({8, std::size_t{1} << 20}, [] {});
    for (int k = 0; k < 1000; ++k) {
        inbox.push(edit("/fader", static_cast<float>(k)));
    }
    EXPECT_TRUE(inbox.push(action("/prismeta/undo")));
    const std::vector<OscMessage> left = takeAll(inbox);
    ASSERT_EQ(left.size(), 8u);
    EXPECT_EQ(left.back().address, "/prismeta/undo");
    EXPECT_EQ(left[6].arguments, (OscArguments{OscArgument::float32(999)})) << "the last value";
}

TEST(OscInbox, QueriesAndSubscriptionsAreNotEditsToDrop) {
    OscInbox inbox({2, std::size_t{1} << 20}, [] {});
    OscMessage query = action("/a");
    query.arguments = {OscArgument::text("?")};
    ASSERT_TRUE(inbox.push(query));
    OscMessage subscribe = action("/prismeta/subscribe");
    subscribe.arguments = {OscArgument::int32(9000)};
    ASSERT_TRUE(inbox.push(subscribe));
    EXPECT_FALSE(inbox.push(query));
    EXPECT_FALSE(inbox.push(subscribe));
    EXPECT_EQ(takeAll(inbox).size(), 2u);
}

TEST(OscInbox, TheByteLimitHoldsToo) {
    OscInbox inbox({1000, 4096}, [] {});
    OscMessage big = action("/prismeta/surface/0/mediaPath");
    big.arguments = {OscArgument::text(std::string(3000, 'x'))};
    EXPECT_TRUE(inbox.push(big));
    EXPECT_TRUE(inbox.push(big)) << "the older copy of the field makes room";
    EXPECT_FALSE(inbox.push(action("/prismeta/surface/0/" + std::string(2000, 'y'))));
    EXPECT_EQ(takeAll(inbox).size(), 1u);
}

TEST(OscInbox, WakesOncePerBatchNotPerMessage) {
    int wakes = 0;
    OscInbox inbox([&] { ++wakes; });
    for (int k = 0; k < 10; ++k) {
        inbox.push(edit("/a" + std::to_string(k), 1));
    }
    EXPECT_EQ(wakes, 1);
    std::vector<OscMessage> out;
    EXPECT_TRUE(inbox.take(4, out)) << "more are waiting";
    inbox.push(edit("/late", 1));
    EXPECT_EQ(wakes, 1) << "the consumer is still coming back";
    EXPECT_FALSE(inbox.take(100, out));
    EXPECT_EQ(out.size(), 11u);
    inbox.push(edit("/again", 1));
    EXPECT_EQ(wakes, 2);
}

TEST(OscInbox, ManyProducersOneConsumerLoseNothingThatFits) {
    OscInbox inbox({1u << 20, std::size_t{1} << 30}, [] {});
    constexpr int producers = 4;
    constexpr int each = 5000;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&inbox, p] {
            for (int k = 0; k < each; ++k) {
                inbox.push(action("/p" + std::to_string(p) + "/" + std::to_string(k)));
            }
        });
    }
    std::size_t taken = 0;
    std::vector<int> next(producers, 0);
    std::vector<OscMessage> out;
    while (taken < static_cast<std::size_t>(producers * each)) {
        out.clear();
        inbox.take(64, out);
        for (const OscMessage& m : out) {
            // Each producer's messages arrive in its own order.
            const int p = m.address[2] - '0';
            EXPECT_EQ(m.address, "/p" + std::to_string(p) + "/" + std::to_string(next[p]));
            ++next[p];
        }
        taken += out.size();
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(inbox.size(), 0u);
}

} // namespace
} // namespace prismeta
