#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace prismeta {

// One timestamped round trip through the broker, as NTP takes it: t1 the
// node sent its probe, t2 the leader received it, t3 the leader answered, t4
// the node received the answer (t1, t4 on the node's clock; t2, t3 on the
// leader's).
struct ClockSample {
    std::int64_t offsetMicros = 0; // leader clock minus node clock
    std::int64_t delayMicros = 0;  // the round trip without the leader's time
};

ClockSample clockSample(std::int64_t t1, std::int64_t t2, std::int64_t t3, std::int64_t t4);

// The offset estimate from the last few samples: the one with the shortest
// round trip, whose error is bounded by half its delay (NTP's clock filter).
// Samples with a negative delay (a clock stepped meanwhile) are dropped.
class ClockOffsetFilter {
public:
    static constexpr std::size_t window = 8;

    void add(const ClockSample& sample);
    std::optional<ClockSample> best() const;
    // Forgets every sample (after a reconnection, or a clock step).
    void reset() {
        count_ = 0;
        next_ = 0;
    }

private:
    std::array<ClockSample, window> samples_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

} // namespace prismeta
