#pragma once

#include "calibration/CalibrationTypes.h"
#include "core/Result.h"

#include <string>
#include <string_view>

namespace prismeta::calibration {

// A camera picture from a file (any still the media layer decodes, told
// apart by its content, whatever its name), as its luma (Rec. 601 weights of
// the stored values). A file that cannot be read says what it holds: "no
// file", "MIFF image data: not a picture format Prismeta reads (PNG, JPEG,
// TIFF, ...)", "JPEG image data that does not decode (damaged or cut short)".
Result<GreyImage> readGreyImage(const std::string& path);
// Why the file at path gives no picture, from its first bytes ("no file",
// "MIFF image data: not a picture format ...").
std::string whyPictureUnreadable(const std::string& path);

// What the first bytes of a file hold, in words ("PNG image data", "MIFF
// image data", "text", "an empty file"), and whether the media layer reads
// that format.
struct PictureContent {
    std::string description;
    bool readable = false;
};
PictureContent describePictureContent(std::string_view head);

// 8-bit and 16-bit greyscale PNG files, written whole or not at all.
Status writeGreyPng(const std::string& path, const GreyImage& image);
Status writeGrey16Png(const std::string& path, const Grey16Image& image);

} // namespace prismeta::calibration
