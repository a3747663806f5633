#include "app/inspector/ColorConversion.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

constexpr RGBA opaqueWhite{1.0f, 1.0f, 1.0f, 1.0f};

bool inUnitRange(float value) {
    return value >= 0.0f && value <= 1.0f; // false for NaN
}

float clampedChannel(float value) {
    return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

} // namespace

RGBA rgbaFromColor(const QColor& color) {
    if (!color.isValid()) {
        return opaqueWhite;
    }
    if (color.spec() == QColor::ExtendedRgb) {
        float r = 0, g = 0, b = 0, a = 0;
        color.getRgbF(&r, &g, &b, &a);
        if (!inUnitRange(r) || !inUnitRange(g) || !inUnitRange(b) || !inUnitRange(a)) {
            return opaqueWhite;
        }
        return {r, g, b, a};
    }
    // HSV, HSL and CMYK all map into sRGB.
    float r = 0, g = 0, b = 0, a = 0;
    color.toRgb().getRgbF(&r, &g, &b, &a);
    return {r, g, b, a};
}

QColor colorFromRgba(const RGBA& rgba) {
    return QColor::fromRgbF(clampedChannel(rgba.r), clampedChannel(rgba.g), clampedChannel(rgba.b),
                            clampedChannel(rgba.a));
}

} // namespace prismeta
