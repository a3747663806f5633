#pragma once

#include "calibration/CalibrationTypes.h"
#include "core/Result.h"

#include <string>

namespace prismeta::calibration {

// A camera picture from a file (any still the media layer decodes), as its
// luma (Rec. 601 weights of the stored values).
Result<GreyImage> readGreyImage(const std::string& path);

// 8-bit and 16-bit greyscale PNG files, written whole or not at all.
Status writeGreyPng(const std::string& path, const GreyImage& image);
Status writeGrey16Png(const std::string& path, const Grey16Image& image);

} // namespace prismeta::calibration
