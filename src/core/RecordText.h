#pragma once

#include "core/Cue.h"
#include "core/OutputConfig.h"
#include "core/Result.h"
#include "core/Surface.h"

#include <string>
#include <string_view>

namespace prismeta {

// One surface, output or cue as a JSON object of its own, with exactly the keys
// and numbers it has inside a project file, on one line: messages that carry
// a single record (the cluster's retained state) use it. Writing fails as the
// project writer does (a number that is not finite, text that is not UTF-8);
// reading applies the project reader's rules for that record.
Result<std::string> writeSurfaceText(const Surface& surface);
Result<std::string> writeOutputText(const OutputConfig& output);
Result<Surface> readSurfaceText(std::string_view bytes);
Result<OutputConfig> readOutputText(std::string_view bytes);
// A cue is read with the file's lenient rules, but as a message of its own it
// must name its id, and a schedule the file would drop with a log line fails
// it instead (a leader never writes one).
Result<std::string> writeCueText(const Cue& cue);
Result<Cue> readCueText(std::string_view bytes);

} // namespace prismeta
