#pragma once

// The four SMPTE frame rates and what a timecode label means in each: film
// (24), EBU (25), NTSC drop-frame (29.97, labels ;00 and ;01 skipped at
// every minute but each tenth) and SMPTE (30).

#include "core/Timecode.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace prismeta {

enum class TimecodeRate : std::uint8_t { film24, ebu25, dropFrame2997, smpte30 };

// Labels per second: 24, 25, 30, 30.
int framesPerLabelSecond(TimecodeRate rate);
// Frames per real second: 24, 25, 30000/1001, 30.
double framesPerSecond(TimecodeRate rate);
// "24", "25", "29.97df", "30".
std::string_view rateName(TimecodeRate rate);
std::optional<TimecodeRate> rateFromName(std::string_view name);

// Whether the label exists at the rate (frames below the rate; drop-frame's
// skipped labels do not).
bool existsAt(const Timecode& timecode, TimecodeRate rate);

// A code as it arrived: its label, its rate, and when its frame began
// (steady-clock seconds).
struct TimecodeReading {
    Timecode timecode;
    TimecodeRate rate = TimecodeRate::ebu25;
    double arrived = 0.0;
};

// Frames since 00:00:00:00 at the rate. A label the rate lacks counts as
// the last frame of its second (frames past the rate) or as the frame after
// the skipped ones (drop-frame).
std::int64_t frameNumber(const Timecode& timecode, TimecodeRate rate);
// The label of a frame number (wrapping at 24 hours).
Timecode timecodeAt(std::int64_t frame, TimecodeRate rate);
// The frames in 24 hours at the rate.
std::int64_t framesPerDay(TimecodeRate rate);

} // namespace prismeta
