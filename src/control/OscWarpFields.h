#pragma once

#include "control/OscMessage.h"
#include "core/OutputConfig.h"
#include "core/Result.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace prismeta {

// The warp fields of an output that the field tables cannot hold, below the
// output's target:
//   warp/point/<k>  ff: mesh point k (row-major), any finite point a 32-bit
//                   float holds; an outer corner point takes its corner
//                   along. Only points of a mesh the warp has can be set.
//   warp/reset      no arguments: the warp goes (the whole raster again).
// (warp/corner/<k> and blendMap are ordinary fields, OscFields.cpp.)

enum class WarpAddress { none, point, reset };

// What the components below a target name; point holds k for a point.
WarpAddress warpAddress(std::span<const std::string_view> parts, std::size_t& point);

// Writes the point; the failure says why ("takes ff, ...", no such point).
Status writeWarpPoint(OutputConfig& output, std::size_t point, const OscArguments& arguments);

// The point as a query answers it; empty when the warp has no such point.
OscArguments readWarpPoint(const OutputConfig& output, std::size_t point);

// Every mesh point whose value differs between two versions of an output
// (all of them where the output is new), for feedback.
void forEachChangedWarpPoint(const OutputConfig* before, const OutputConfig& after,
                             const std::function<void(std::size_t point, OscArguments)>& each);

} // namespace prismeta
