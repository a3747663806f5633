#pragma once

// Where a show stands moves between two clocks: each machine's renderers draw
// on its steady clock (seconds, cues/ShowClock.h), while machines agree on
// the real-time clock that chrony or linuxptp keep together (microseconds,
// cluster/RealTimeClock.h). A reading of both at one moment converts between them.

#include "cluster/ClusterMessages.h"
#include "cluster/RealTimeClock.h"
#include "cues/ShowState.h"

#include <cstdint>

namespace prismeta {

struct ClockReading {
    double steadySeconds = 0.0;
    std::int64_t showMicros = 0;

    std::int64_t toShow(double steady) const;
    double toSteady(std::int64_t show) const;
};

// Both clocks read now, back to back. Whatever converts a time must read the
// pair together: a steady time taken earlier (a frame's start) with the
// real-time clock read after the frame's work shifts every converted time by
// the work in between, which differs from machine to machine. Of three tries
// the tightest counts, so a preemption between the two reads is left out.
ClockReading readClocks(const RealTimeClock& clock);

// The live cue and the blackout of `state` into the message (its video starts
// are left as they are).
void putCueState(ShowStateMessage& message, const ShowState& state, ClockReading now);

// The live cue and the blackout a message gives, on this machine's steady
// clock.
ShowState cueStateOf(const ShowStateMessage& message, ClockReading now);

} // namespace prismeta
