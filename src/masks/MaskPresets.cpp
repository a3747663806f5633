#include "masks/MaskPresets.h"

#include <cmath>
#include <numbers>

namespace prismeta {

namespace {

// Handle length of a cubic Bézier quarter circle, as a share of the radius.
constexpr float quarterCircleHandle = 0.5522847498f;

MaskPoint corner(float x, float y) {
    return MaskPoint{x, y, std::nullopt, std::nullopt};
}

} // namespace

std::string_view maskPresetName(MaskPreset preset) {
    switch (preset) {
    case MaskPreset::rectangle:
        return "Rectangle";
    case MaskPreset::ellipse:
        return "Ellipse";
    case MaskPreset::triangle:
        return "Triangle";
    case MaskPreset::polygon:
        return "Polygon";
    }
    return "Mask";
}

Mask makeMaskPreset(MaskPreset preset) {
    constexpr float lo = maskPresetMargin;
    constexpr float hi = 1.0f - maskPresetMargin;
    Mask mask;
    mask.name = std::string(maskPresetName(preset));
    switch (preset) {
    case MaskPreset::rectangle:
        mask.points = {corner(lo, lo), corner(hi, lo), corner(hi, hi), corner(lo, hi)};
        break;
    case MaskPreset::ellipse: {
        constexpr float r = 0.5f - maskPresetMargin;
        constexpr float h = r * quarterCircleHandle;
        // Clockwise on screen from the top: top, right, bottom, left.
        mask.points = {
            MaskPoint{0.5f, lo, Pt{0.5f - h, lo}, Pt{0.5f + h, lo}},
            MaskPoint{hi, 0.5f, Pt{hi, 0.5f - h}, Pt{hi, 0.5f + h}},
            MaskPoint{0.5f, hi, Pt{0.5f + h, hi}, Pt{0.5f - h, hi}},
            MaskPoint{lo, 0.5f, Pt{lo, 0.5f + h}, Pt{lo, 0.5f - h}},
        };
        break;
    }
    case MaskPreset::triangle:
        mask.points = {corner(0.5f, lo), corner(hi, hi), corner(lo, hi)};
        break;
    case MaskPreset::polygon:
        for (int i = 0; i < 6; ++i) {
            const double angle = std::numbers::pi / 3.0 * i - std::numbers::pi / 2.0;
            const float r = 0.5f - maskPresetMargin;
            mask.points.push_back(corner(0.5f + r * static_cast<float>(std::cos(angle)),
                                         0.5f + r * static_cast<float>(std::sin(angle))));
        }
        break;
    }
    return mask;
}

Mask makeMaskPreset(MaskPreset preset, float x, float y, float width, float height) {
    Mask mask = makeMaskPreset(preset);
    const auto place = [&](Pt p) { return Pt{x + p.x * width, y + p.y * height}; };
    for (MaskPoint& point : mask.points) {
        const Pt placed = place(Pt{point.x, point.y});
        point.x = placed.x;
        point.y = placed.y;
        if (point.in) {
            point.in = place(*point.in);
        }
        if (point.out) {
            point.out = place(*point.out);
        }
    }
    return mask;
}

} // namespace prismeta
