#pragma once

#include "core/Mask.h"

#include <array>
#include <string_view>

namespace prismeta {

// The shapes a new mask starts from. Each fills the unit square (a picture,
// or an output's crop once mapped onto it) with a small margin.
enum class MaskPreset { rectangle = 0, ellipse = 1, triangle = 2, polygon = 3 };

inline constexpr std::array<MaskPreset, 4> allMaskPresets = {
    MaskPreset::rectangle, MaskPreset::ellipse, MaskPreset::triangle, MaskPreset::polygon};

inline constexpr float maskPresetMargin = 0.05f;

// "Rectangle", "Ellipse", "Triangle", "Polygon"; also the new mask's name.
std::string_view maskPresetName(MaskPreset preset);

// The preset in the unit square: a rectangle, an ellipse of four points with
// Bézier handles, a triangle with its apex at the top middle, a hexagon.
Mask makeMaskPreset(MaskPreset preset);

// The preset mapped into the rectangle (x, y, width, height), e.g. an
// output's crop of the canvas.
Mask makeMaskPreset(MaskPreset preset, float x, float y, float width, float height);

} // namespace prismeta
