#pragma once

#include "core/OutputConfig.h"
#include "core/Result.h"
#include "core/Surface.h"

#include <string>
#include <string_view>

namespace prismeta {

// One surface or output as a JSON object of its own, with exactly the keys
// and numbers it has inside a project file, on one line: messages that carry
// a single record (the cluster's retained state) use it. Writing fails as the
// project writer does (a number that is not finite, text that is not UTF-8);
// reading applies the project reader's rules for that record.
Result<std::string> writeSurfaceText(const Surface& surface);
Result<std::string> writeOutputText(const OutputConfig& output);
Result<Surface> readSurfaceText(std::string_view bytes);
Result<OutputConfig> readOutputText(std::string_view bytes);

} // namespace prismeta
