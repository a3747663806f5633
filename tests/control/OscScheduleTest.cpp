// Bundles with a time tag ahead: held until the show clock reaches it.
#include "control/OscSchedule.h"

#include "OscTestClient.h"
#include "control/OscInbox.h"
#include "control/OscServer.h"
#include "core/Log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace prismeta {
namespace {

OscMessage at(std::string address, std::optional<std::int64_t> due) {
    OscMessage message;
    message.address = std::move(address);
    message.dueMicros = due;
    return message;
}

TEST(OscScheduleTest, TimeTagsAreShowClockMicroseconds) {
    EXPECT_FALSE(oscTimeTagMicros(0, 1)); // "at once"
    // 2026-01-01T00:00:00Z and a half second: 3976214400 s since 1900.
    EXPECT_EQ(oscTimeTagMicros(3'976'214'400u, 0x80000000u), 1'767'225'600'500'000);
}

TEST(OscScheduleTest, TheServerKeepsEachBundledMessagesTimeTag) {
    OscInbox inbox([] {});
    OscServerConfig config;
    config.port = 0;
    auto server = OscServer::start(config, inbox);
    ASSERT_TRUE(server) << server.error();

    // A bundle for 2026-01-01T00:00:00.5Z holding one message, then a plain one.
    const std::string message =
        test::OscTestClient::encode("/prismeta/snap", {OscArgument::int32(1)});
    std::string bundle("#bundle", 8);
    const auto bigEndian = [&bundle](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bundle.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    bigEndian(3'976'214'400u);
    bigEndian(0x80000000u);
    bigEndian(static_cast<std::uint32_t>(message.size()));
    bundle += message;
    test::OscTestClient::sendRaw(server.value()->port(), bundle);
    test::OscTestClient::sendRaw(server.value()->port(), message);

    std::vector<OscMessage> received;
    for (int i = 0; i < 500 && received.size() < 2; ++i) {
        inbox.take(16, received);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].dueMicros, 1'767'225'600'500'000);
    EXPECT_FALSE(received[1].dueMicros);
}

TEST(OscScheduleTest, HeldUntilDueInTimeOrder) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    OscSchedule schedule;
    const auto logNow = RateLimitedLog::Clock::now();
    const std::int64_t now = 1'000'000'000;
    using Admission = OscSchedule::Admission;

    OscMessage plain = at("/plain", std::nullopt);
    OscMessage late = at("/late", now - 5);
    OscMessage second = at("/second", now + 2'000);
    OscMessage first = at("/first", now + 1'000);
    OscMessage alsoSecond = at("/also-second", now + 2'000);
    OscMessage far = at("/far", now + 61'000'000);
    EXPECT_EQ(schedule.admit(plain, now, logNow), Admission::now);
    EXPECT_EQ(schedule.admit(late, now, logNow), Admission::now);
    EXPECT_EQ(schedule.admit(second, now, logNow), Admission::held);
    EXPECT_EQ(schedule.admit(first, now, logNow), Admission::held);
    EXPECT_EQ(schedule.admit(alsoSecond, now, logNow), Admission::held);
    EXPECT_EQ(schedule.admit(far, now, logNow), Admission::now);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("61 s ahead"), std::string::npos) << lines[0];
    EXPECT_EQ(schedule.nextDueMicros(), now + 1'000);

    std::vector<OscMessage> due;
    schedule.takeDue(now + 999, due);
    EXPECT_TRUE(due.empty());
    schedule.takeDue(now + 2'000, due);
    ASSERT_EQ(due.size(), 3u);
    EXPECT_EQ(due[0].address, "/first");
    EXPECT_EQ(due[1].address, "/second");
    EXPECT_EQ(due[2].address, "/also-second");
    EXPECT_EQ(schedule.size(), 0u);
    EXPECT_FALSE(schedule.nextDueMicros());
}

TEST(OscScheduleTest, AFullScheduleRunsTheRestAtOnce) {
    const ScopedLogSink quiet([](std::string_view) {});
    OscSchedule schedule;
    const auto logNow = RateLimitedLog::Clock::now();
    for (std::size_t i = 0; i < OscSchedule::maxHeld; ++i) {
        OscMessage m = at("/x", 10 + static_cast<std::int64_t>(i));
        ASSERT_EQ(schedule.admit(m, 0, logNow), OscSchedule::Admission::held);
    }
    OscMessage more = at("/x", 5);
    EXPECT_EQ(schedule.admit(more, 0, logNow), OscSchedule::Admission::now);
    EXPECT_EQ(schedule.size(), OscSchedule::maxHeld);
}

} // namespace
} // namespace prismeta
