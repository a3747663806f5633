#include "control/RateLimitedLog.h"

#include "core/Log.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

using namespace std::chrono_literals;

TEST(RateLimitedLog, OneLineAtOnceThenOneSummaryPerWindow) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    RateLimitedLog log(2s);
    const RateLimitedLog::Clock::time_point t0{};
    for (int k = 0; k < 10000; ++k) {
        log.report("kind", "/x f: message " + std::to_string(k), t0 + k * 100us); // 1 s
    }
    log.report("other", "/y: another reason", t0 + 1s);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Prismeta: OSC ignored /x f: message 0");
    EXPECT_EQ(lines[1], "Prismeta: OSC ignored /y: another reason");

    log.update(t0 + 2s);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2],
              "Prismeta: OSC ignored 9999 more in the last 2 s like this one: /x f: message 9999");
    log.update(t0 + 10s);
    EXPECT_EQ(lines.size(), 3u) << "nothing more to say";
    EXPECT_FALSE(log.nextDue());
    log.report("kind", "/x f: again", t0 + 11s);
    EXPECT_EQ(lines.size(), 4u) << "a new window opens at once";
}

// The number a line stands for: the count a summary or a line about several
// starts with, else one.
std::uint64_t countOf(std::string_view line) {
    constexpr std::string_view prefix = "Prismeta: OSC ignored ";
    line.remove_prefix(prefix.size());
    std::uint64_t count = 0;
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') {
        count = count * 10 + static_cast<std::uint64_t>(line[digits++] - '0');
    }
    return digits > 0 ? count : 1;
}

TEST(RateLimitedLog, TheCountsOfTheLinesAddUpToWhatWasIgnored) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
    RateLimitedLog log(2s);
    const RateLimitedLog::Clock::time_point t0{};
    const auto batch = [&](std::uint64_t n, RateLimitedLog::Clock::time_point at) {
        log.report("unreadable", std::to_string(n) + " packet(s) that are not OSC", at, n);
    };

    // 50 in one batch: one line saying 50, and nothing left for a summary.
    batch(50, t0);
    log.update(t0 + 5s);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Prismeta: OSC ignored 50 packet(s) that are not OSC");

    // Batches and single reports mixed over several windows.
    lines.clear();
    std::uint64_t ignored = 0;
    auto at = t0 + 10s;
    for (int k = 0; k < 40; ++k) {
        const std::uint64_t n = 1 + static_cast<std::uint64_t>(k % 7) * 13;
        batch(n, at);
        log.report("unreadable", "a single one", at);
        ignored += n + 1;
        at += 150ms;
    }
    log.update(at + 10s);
    std::uint64_t sum = 0;
    for (const std::string& line : lines) {
        sum += countOf(line);
    }
    EXPECT_GE(lines.size(), 3u);
    EXPECT_EQ(sum, ignored);
}

} // namespace
} // namespace prismeta
