#pragma once

#include "geometry/BlendVertex.h"

#include <array>
#include <cstddef>
#include <optional>

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

// One rectangle of the output's 0..1 space as two triangles (alpha 0).
struct BlendQuad {
    std::array<BlendVertex, 6> vertices{};
};

BlendQuad blendQuad(float x0, float y0, float x1, float y1);

// Where no ramp is: the rectangle inside the bands that blendBands draws
// (an edge without a band gives way to the output's own edge). Its sides are
// the bands' inner ends, the same floats, so every pixel lies in exactly one
// of the two. None when the bands meet or cross.
std::optional<BlendQuad> blendFreeArea(const OutputConfig& output);

} // namespace prismeta
