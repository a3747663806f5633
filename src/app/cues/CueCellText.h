#pragma once

#include "core/Cue.h"

#include <QString>

#include <optional>

namespace prismeta {

// The texts of the Cues panel's cells and what an operator types into them.
// Each parse function sets its value and returns an empty text when the
// entry is usable, and otherwise leaves the value alone and says what is
// wrong with it in one sentence for the cell ("25:99 is not a time of day:
// the hour must be 00 to 23 and the minute 00 to 59").

// Seconds, as few digits as they need ("2.5").
QString fadeText(double seconds);
// "" (none), "end" or seconds.
QString followText(const std::optional<CueFollow>& follow);
// "HH:MM[:SS]", then the days when not every day ("18:00 mon-fri,sun").
QString scheduleText(const std::optional<CueSchedule>& schedule);

// A number of seconds, brought into 0..maxCueFade by the edit.
QString parseFade(const QString& text, double& fade);
// "" (none), "end" or a number of seconds, 0 or more.
QString parseFollow(const QString& text, std::optional<CueFollow>& follow);
// "" (none) or "HH:MM[:SS] [days]", the days a list of "mon" ... "sun" and
// ranges of them ("mon-fri,sun"; "fri-mon" runs over the weekend).
QString parseSchedule(const QString& text, std::optional<CueSchedule>& schedule);

} // namespace prismeta
