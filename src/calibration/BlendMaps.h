#pragma once

#include "calibration/CalibrationTypes.h"
#include "calibration/PatternDecoder.h"
#include "calibration/WarpFit.h"

#include <span>
#include <vector>

namespace prismeta::calibration {

// The share of the light output i gives at canvas point q, before any
// brightness gain: each projector reaching q weighs the square of its
// distance to its own raster's nearest edge (a fraction of the raster's
// smaller side), and i gives its weight over the sum. So the shares fall off
// smoothly toward each projector's edges, add up to 1 wherever any projector
// reaches, and are 1 where only one does; 0 where i does not reach.
double blendShare(std::span<const WarpFit> fits, std::size_t i, Vec2 q);

// Output i's blend map over its crop, width x height values, each the share
// times gains[i] (linear light; 65535 is all of it), sampled at pixel centres.
Grey16Image blendMap(std::span<const WarpFit> fits, std::span<const double> gains, std::size_t i,
                     int width, int height);

// Per-output gains (at most 1) that make overlapping projectors' whites
// agree as the camera sees them: for each pair of outputs decoded at the
// same camera pixels, the median ratio of their linearised white-minus-black
// there; the gains solve those ratios in the least-squares sense (on their
// logarithms), each group of overlapping outputs scaled so that its
// brightest gain is 1. Outputs that overlap none keep 1.
std::vector<double> matchBrightness(std::span<const DecodedOutput* const> decoded,
                                    double cameraGamma);

} // namespace prismeta::calibration
