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

} // namespace
} // namespace prismeta
