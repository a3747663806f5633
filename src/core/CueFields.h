#pragma once

// The "cues" key of a project file, read leniently: nothing under it can make
// a project fail to open that would open without it. A cue or look entry that
// is not an object is skipped, a field of the wrong type reads as not set, a
// fade or timed follow out of range as the nearest end, a bad schedule is
// dropped with one log line naming the cue, and a look without a surface id
// is dropped. Look entries naming surfaces the project lacks are kept.
//
// Memory stays bounded as for the rest of the file: cues are read straight
// into the list as they stream past, one entry at a time.

#include "core/Cue.h"
#include "core/RecordReader.h"

#include <memory>
#include <string_view>
#include <vector>

namespace prismeta::reading {

// The frame that reads the value of "cues" into cues (an array, or anything
// else, which is skipped with one log line).
std::unique_ptr<Frame> openCueList(std::vector<Cue>& cues, Container kind, const Frame& parent,
                                   std::string_view key);
// "cues" given a scalar: nothing is read (one log line unless it is null).
void skipCueScalar(std::vector<Cue>& cues, const Scalar& value);

} // namespace prismeta::reading
