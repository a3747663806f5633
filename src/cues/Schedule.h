#pragma once

// Which cue the schedules put in force at a time of the local wall clock.
// Any thread (the local time zone is read through the C library).

#include "core/Cue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta {

// A scheduled GO: the cue and the wall-clock time (seconds since the epoch)
// of the scheduled time that put it in force.
struct ScheduledGo {
    std::size_t cue = 0;
    std::int64_t at = 0;
    friend bool operator==(const ScheduledGo&, const ScheduledGo&) = default;
};

// The cue whose scheduled time passed last, at or before now, within the
// past seven days; of cues scheduled at the same moment the later one in the
// list. Local times are taken as the system's time zone has them on that
// day: a time that a change to summer time skips happens when the clocks
// reach it (02:30 on a night that goes from 02:00 to 03:00 is 03:30), and a
// time that the change back repeats happens the first time round.
std::optional<ScheduledGo> lastScheduledGo(const std::vector<Cue>& cues, std::int64_t now);

// The first scheduled time after now, within the next seven days, and its
// cue (of cues scheduled at the same moment the later one in the list, the
// one that will be in force). Local times as for lastScheduledGo.
std::optional<ScheduledGo> nextScheduledGo(const std::vector<Cue>& cues, std::int64_t now);

// The local time "YYYY-MM-DDTHH:MM[:SS]" as seconds since the epoch; none
// when it is not such a time.
std::optional<std::int64_t> parseLocalDateTime(std::string_view text);

} // namespace prismeta
