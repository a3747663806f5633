#pragma once

// The two clocks a show runs on, behind interfaces so tests (and a machine
// that follows another) can set them.
//
// ShowClock: seconds on the clock that frames, fades and videos share (the
// renderers' host time: steady_clock). Every canvas view and output window
// draws a frame at one such time, so they all show the same fade at once.
//
// WallClock: the local wall clock that schedules follow, as seconds since the
// epoch; turned into local time with the process's time zone, so summer time
// and clock corrections are taken as the system sees them.

#include <cstdint>

namespace prismeta {

class ShowClock {
public:
    virtual ~ShowClock() = default;
    virtual double now() const = 0;
};

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual std::int64_t now() const = 0;
};

// steady_clock in seconds, as Renderer::draw(target) uses.
class SteadyShowClock final : public ShowClock {
public:
    double now() const override;
};

// The system's real-time clock.
class SystemWallClock final : public WallClock {
public:
    std::int64_t now() const override;
};

// A clock a test sets.
class ManualShowClock final : public ShowClock {
public:
    double now() const override { return seconds; }
    double seconds = 0.0;
};

class ManualWallClock final : public WallClock {
public:
    std::int64_t now() const override { return seconds; }
    std::int64_t seconds = 0;
};

} // namespace prismeta
