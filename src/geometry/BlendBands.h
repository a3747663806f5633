#pragma once

#include "geometry/BlendVertex.h"

#include <array>
#include <cstddef>

namespace prismeta {

struct OutputConfig;

// The black edge-blend ramps of one output, in the output's own 0..1 space:
// one band of two triangles per edge whose width is above 0, in the order
// left, right, top, bottom. Alpha runs linearly from 1 at the outer edge to 0
// at the inner end. Widths at or below 0 (or not numbers) add nothing. The
// crop does not matter. Pure; any thread; no allocation.
struct BlendBands {
    std::array<BlendVertex, 24> vertices{};
    std::size_t count = 0;
};

BlendBands blendBands(const OutputConfig& output);

} // namespace prismeta
