#pragma once

// The synthetic rig the application's end-to-end calibration sees its
// projectors' screens through: two projectors side by side, each a 480 x 270
// RandR monitor, and a 480 x 270 camera (the rig of the engine's tests, one
// row of it). Shared by the test and its capture command, which must build
// the same rig.

#include "SyntheticRig.h"

namespace prismeta::rig {

inline constexpr int screenRigProjectorWidth = 480;
inline constexpr int screenRigProjectorHeight = 270;

inline RigSpec screenRigSpec(std::uint32_t seed = 1) {
    RigSpec spec;
    spec.projectorWidth = screenRigProjectorWidth;
    spec.projectorHeight = screenRigProjectorHeight;
    spec.cameraWidth = 480;
    spec.cameraHeight = 270;
    spec.cols = 2;
    spec.rows = 1;
    spec.seed = seed;
    return spec;
}

} // namespace prismeta::rig
