#pragma once

#include "core/OutputConfig.h"
#include "core/Uuid.h"

#include <optional>
#include <vector>

namespace prismeta {

// The output windows a show opens, in the order they open: every output with
// a usable display, in the project's order. A show never shows an empty
// desktop: when no output has a display it opens the first output, and with
// no outputs at all one window for no output (the whole canvas). An id that
// appears twice opens once.
std::vector<std::optional<Uuid>> showWindows(const std::vector<OutputConfig>& outputs);

} // namespace prismeta
