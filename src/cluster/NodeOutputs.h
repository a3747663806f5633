#pragma once

#include "core/OutputConfig.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace prismeta {

// The positions of the outputs one machine shows: those whose `node` names
// it, or, for the leading machine (no node name), those without a node.
std::vector<std::size_t> outputsOfNode(const std::vector<OutputConfig>& outputs,
                                       std::optional<std::string_view> node);

} // namespace prismeta
