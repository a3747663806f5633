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

inline RigSetup screenRigSpec(std::uint32_t seed = 1) {
    RigSetup setup;
    setup.projectorWidth = screenRigProjectorWidth;
    setup.projectorHeight = screenRigProjectorHeight;
    setup.cameraWidth = 480;
    setup.cameraHeight = 270;
    setup.cols = 2;
    setup.rows = 1;
    setup.seed = seed;
    return setup;
}

} // namespace prismeta::rig
