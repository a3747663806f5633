#pragma once

// Edits of the cue list, each one undo step (the step holds the cue list and
// the surfaces, so undo brings both back). Indexes out of range change
// nothing and return false. Main thread only, like the model.

#include "core/Cue.h"
#include "core/ProjectModel.h"

#include <cstddef>
#include <optional>
#include <string>

namespace prismeta {

// A new cue after position `after` (after the last cue when none), holding
// the current look of every surface. Returns its position.
std::size_t recordCue(ProjectModel& model, std::optional<std::size_t> after, std::string name);
// The cue takes the current looks of every surface.
bool updateCue(ProjectModel& model, std::size_t index);
bool deleteCue(ProjectModel& model, std::size_t index);
// Moves the cue at from so that it ends up at position to.
bool moveCue(ProjectModel& model, std::size_t from, std::size_t to);
bool renameCue(ProjectModel& model, std::size_t index, std::string name);
// Clamped to 0..maxCueFade.
bool setCueFade(ProjectModel& model, std::size_t index, double seconds);
bool setCueFollow(ProjectModel& model, std::size_t index, std::optional<CueFollow> follow);
bool setCueSchedule(ProjectModel& model, std::size_t index, std::optional<CueSchedule> schedule);
// When the cue goes while the show chases timecode (none: it does not).
bool setCueTimecode(ProjectModel& model, std::size_t index, std::optional<Timecode> timecode);

// A cue by what an operator types: its number from 1, its name, or its id.
// Numbers win over names that look like numbers.
std::optional<std::size_t> findCue(const std::vector<Cue>& cues, std::string_view selector);

} // namespace prismeta
