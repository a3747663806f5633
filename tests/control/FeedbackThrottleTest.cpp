#include "control/FeedbackThrottle.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

using namespace std::chrono_literals;
using Clock = FeedbackThrottle::Clock;

std::vector<OscOutgoing> unit(const OscEndpoint& to, const std::string& address, float value) {
    return {{to, address, {OscArgument::float32(value)}}};
}

TEST(FeedbackThrottle, SixtyASecondPerAddressEndingOnTheLastValue) {
    std::vector<OscOutgoing> sent;
    FeedbackThrottle throttle([&](const OscOutgoing& m) { sent.push_back(m); });
    const OscEndpoint desk{"127.0.0.1", 9000};
    const Clock::time_point t0{};
    // 1,000 changes of one address over one second, and one of another.
    for (int k = 0; k < 1000; ++k) {
        const Clock::time_point now = t0 + k * 1ms;
        throttle.offer(desk, "/a", unit(desk, "/a", static_cast<float>(k)), now);
        throttle.update(now);
    }
    throttle.offer(desk, "/b", unit(desk, "/b", 7), t0 + 999ms);
    ASSERT_TRUE(throttle.nextDue());
    throttle.update(*throttle.nextDue());
    throttle.update(t0 + 2s);

    std::size_t onA = 0;
    for (const OscOutgoing& m : sent) {
        onA += m.address == "/a" ? 1 : 0;
    }
    EXPECT_GE(onA, 55u);
    EXPECT_LE(onA, 61u);
    const auto lastA = std::find_if(sent.rbegin(), sent.rend(),
                                    [](const OscOutgoing& m) { return m.address == "/a"; });
    EXPECT_EQ(lastA->arguments, (OscArguments{OscArgument::float32(999)})) << "ends on the last";
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const OscOutgoing& m) { return m.address == "/b"; }),
              1)
        << "another address is not held back by the first";
    EXPECT_FALSE(throttle.nextDue());
}

TEST(FeedbackThrottle, ForgetsADepartedSubscriber) {
    std::vector<OscOutgoing> sent;
    FeedbackThrottle throttle([&](const OscOutgoing& m) { sent.push_back(m); });
    const OscEndpoint desk{"127.0.0.1", 9000};
    const Clock::time_point t0{};
    throttle.offer(desk, "/a", unit(desk, "/a", 1), t0);
    throttle.offer(desk, "/a", unit(desk, "/a", 2), t0 + 1ms);
    throttle.forget(desk);
    throttle.update(t0 + 1s);
    EXPECT_EQ(sent.size(), 1u);
}

} // namespace
} // namespace prismeta
