#pragma once

namespace prismeta {

// How an output's edge-blend ramps meet a real projector: the ramp's shape
// (`blendCurve`, an exponent), the projector gamma the ramp makes up for
// (`blendGamma`) and the black-level lift added where no ramp is, so that the
// single-projector areas match the doubled black of the overlaps. With d the
// distance into a ramp (0 at the outer edge, 1 at the inner end) the colour
// under the ramp keeps (d^curve)^(1/gamma). The defaults (1, 1, black) give
// the plain linear ramp and no lift.
//
// Every value that reaches a renderer, a file or the inspector goes through
// the *InRange functions: a value outside its range is clamped to the nearest
// end, one that is not a number is the default. Pure; any thread.

inline constexpr float defaultBlendCurve = 1.0f;
inline constexpr float minBlendCurve = 0.5f;
inline constexpr float maxBlendCurve = 4.0f;

inline constexpr float defaultBlendGamma = 1.0f;
inline constexpr float minBlendGamma = 1.0f;
inline constexpr float maxBlendGamma = 3.0f;

inline constexpr float maxBlackLevel = 0.2f;

// The lift per channel, in output pixel values (0..maxBlackLevel each).
struct BlackLevel {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;

    bool isZero() const { return r == 0.0f && g == 0.0f && b == 0.0f; }
    friend bool operator==(const BlackLevel&, const BlackLevel&) = default;
};

float blendCurveInRange(float curve);
float blendGammaInRange(float gamma);
float blackLevelInRange(float level);
BlackLevel blackLevelInRange(BlackLevel level);

} // namespace prismeta
