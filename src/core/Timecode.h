#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// A SMPTE timecode as it is written, "HH:MM:SS:FF": hours 0..23, minutes
// and seconds 0..59, frames 0..29. What a frame number means in time depends
// on the rate the timecode runs at (dmx/TimecodeRate.h); labels of one rate
// order as their times do.
struct Timecode {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int frames = 0;

    friend auto operator<=>(const Timecode&, const Timecode&) = default;
};

// "01:02:03:04".
std::string timecodeText(const Timecode& timecode);
// "HH:MM:SS:FF"; drop-frame's "HH:MM:SS;FF" is taken too. Nothing for any
// other text or a field out of its range.
std::optional<Timecode> parseTimecode(std::string_view text);

} // namespace prismeta
