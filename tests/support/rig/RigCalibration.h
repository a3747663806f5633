#pragma once

// Calibration run on the synthetic rig, and its results measured against
// the rig's truth.

#include "SyntheticRig.h"

#include "calibration/Calibration.h"
#include "calibration/PatternSet.h"

#include <vector>

namespace prismeta::rig {

struct RigRun {
    std::vector<calibration::PatternSet> patterns;
    std::vector<calibration::DecodedOutput> decoded;
    calibration::CalibrationResult result;
    double captureSeconds = 0.0; // rendering the camera pictures
    double decodeSeconds = 0.0;  // decoding every output
    double fitSeconds = 0.0;     // fitting, blend maps
};

// Shows every output's patterns in turn (the others black), captures them
// through the rig's camera, decodes and calibrates.
RigRun calibrateOnRig(SyntheticRig& rig, const calibration::CalibrationOptions& options,
                      const calibration::PatternOptions& patterns = {});

struct Error {
    double rms = 0.0;
    double max = 0.0;
    std::size_t points = 0;
};

// The fitted warp of projector p against the truth, in projector pixels, at
// canvas points on a fine grid that the projector truly lights.
Error warpError(const SyntheticRig& rig, std::size_t p, const calibration::WarpFit& fit,
                const calibration::CanvasCorners& region);

// Where two projectors draw the same canvas point, as the camera sees it:
// points along the lines of a 1/16 grid of the canvas wherever two fitted
// warps both show them, the distance in camera pixels between the two
// places they land. The largest such distance.
double seamError(const SyntheticRig& rig, const calibration::CalibrationResult& result);

// The outputs drawn white through their warps and blend maps: how far the
// light on the wall strays from its median over the canvas (inset by 2 %),
// as a share of it.
double whiteUnevenness(SyntheticRig& rig, const calibration::CalibrationResult& result);
// The same for pictures drawn by any renderer, one per projector.
double whiteUnevenness(SyntheticRig& rig, std::span<const GreyImage> pictures,
                       const calibration::CanvasCorners& region);

} // namespace prismeta::rig
