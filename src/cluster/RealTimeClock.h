#pragma once

#include <cstdint>

namespace prismeta {

// The show clock: microseconds since the Unix epoch on the machine's real-time
// clock, which chrony or linuxptp keep in step across the machines. Behind an
// interface so tests can give each node a clock of its own. Any thread.
class RealTimeClock {
public:
    virtual ~RealTimeClock() = default;
    virtual std::int64_t nowMicros() const = 0;
};

// CLOCK_REALTIME.
class SystemRealTimeClock final : public RealTimeClock {
public:
    std::int64_t nowMicros() const override;
};

// A clock that reads another one shifted by a fixed offset (a node whose
// clock is off, in tests and benchmarks).
class OffsetRealTimeClock final : public RealTimeClock {
public:
    OffsetRealTimeClock(const RealTimeClock& base, std::int64_t offsetMicros)
        : base_(base), offset_(offsetMicros) {}
    std::int64_t nowMicros() const override { return base_.nowMicros() + offset_; }

private:
    const RealTimeClock& base_;
    std::int64_t offset_;
};

} // namespace prismeta
