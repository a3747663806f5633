#pragma once

// Where a show stands, as a plain value another machine could be given: the
// live cue, its GO time on the show clock and its fade, and the blackout.
// With the project's surfaces and cues it says what every output shows.

#include "core/Uuid.h"
#include "cues/Blackout.h"

#include <optional>

namespace prismeta {

struct ShowState {
    std::optional<Uuid> liveCue;
    double goTime = 0.0; // show clock, seconds
    double fade = 0.0;   // the fade the GO used (which may replace the cue's)
    Blackout blackout;

    friend bool operator==(const ShowState&, const ShowState&) = default;
};

} // namespace prismeta
