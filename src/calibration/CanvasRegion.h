#pragma once

#include "calibration/CalibrationTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta::calibration {

// The canvas's corners in the camera picture, in camera pixels: top-left,
// top-right, bottom-right, bottom-left.
using CanvasCorners = std::array<Vec2, 4>;

// The largest axis-aligned rectangle of the given aspect (width / height)
// inside the camera pixels marked in `covered` (width x height, non-zero:
// lit by some projector), nearest the covered area's centre among the
// largest; none when nothing is covered.
std::optional<CanvasCorners> largestCanvasRectangle(const std::vector<std::uint8_t>& covered,
                                                    int width, int height, double aspect);

// The map from canvas coordinates (0..1) to camera pixels through the
// corners; none when they do not form a quadrilateral.
std::optional<Homography> canvasToCamera(const CanvasCorners& corners);

} // namespace prismeta::calibration
