#pragma once

#include "core/OutputConfig.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace prismeta::cli {

// "1920x1080": two positive whole numbers in plain digits. Numbers too large
// for an int read as INT_MAX.
std::optional<std::pair<int, int>> parseSize(std::string_view text);

// The position of the output an argument names: its id (either letter
// case), then a 0-based index in range, then the first exact name.
std::optional<std::size_t> selectOutput(const std::vector<OutputConfig>& outputs,
                                        std::string_view selector);

} // namespace prismeta::cli
