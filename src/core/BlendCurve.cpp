#include "core/BlendCurve.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

float inRange(float value, float low, float high, float fallback) {
    if (std::isnan(value)) {
        return fallback;
    }
    return std::clamp(value, low, high);
}

} // namespace

float blendCurveInRange(float curve) {
    return inRange(curve, minBlendCurve, maxBlendCurve, defaultBlendCurve);
}

float blendGammaInRange(float gamma) {
    return inRange(gamma, minBlendGamma, maxBlendGamma, defaultBlendGamma);
}

float blackLevelInRange(float level) {
    return inRange(level, 0.0f, maxBlackLevel, 0.0f);
}

BlackLevel blackLevelInRange(BlackLevel level) {
    return {blackLevelInRange(level.r), blackLevelInRange(level.g), blackLevelInRange(level.b)};
}

} // namespace prismeta
