#pragma once

#include "core/Pt.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// One point of a mask's path with its optional Bézier handles, all in the
// mask's own coordinates (a surface's picture, 0..1 across and down, or the
// canvas for an output's masks). The segment from point i to point i + 1 is
// the cubic through i's `out` and i + 1's `in`; a missing handle stands for
// the point itself, so points without handles make a polygon.
struct MaskPoint {
    float x = 0.0f;
    float y = 0.0f;
    std::optional<Pt> in;
    std::optional<Pt> out;

    friend bool operator==(const MaskPoint&, const MaskPoint&) = default;
};

// A closed path filled with the non-zero winding rule. Coverage is 1 deep
// inside, falling linearly to 0 at the path over `feather` (inside only, so
// feathering never grows a mask); without feather the edge is anti-aliased
// over one output pixel. An inverted mask lets light through outside its path.
struct Mask {
    std::string name = "Mask";
    std::vector<MaskPoint> points;
    float feather = 0.0f;
    bool invert = false;
    bool enabled = true;

    // Feather values outside this range are brought into it on reading.
    static constexpr float maxFeather = 0.5f;
    // What one record's masks may draw: the first 64 masks, the first 10,000
    // points of each. Files may hold more; they are kept, not drawn.
    static constexpr std::size_t maxDrawnMasks = 64;
    static constexpr std::size_t maxDrawnPoints = 10000;
    static constexpr std::size_t minPoints = 3;

    // Whether the mask has a path to fill (three points or more).
    bool drawable() const { return points.size() >= minPoints; }

    friend bool operator==(const Mask&, const Mask&) = default;
};

// The feather as drawn: within 0..maxFeather (a NaN reads as 0).
float maskFeatherInRange(float feather);

} // namespace prismeta
