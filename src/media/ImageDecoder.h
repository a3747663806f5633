#pragma once

#include "media/ImageLimits.h"
#include "media/PixelImage.h"

#include <atomic>
#include <optional>
#include <string>

namespace prismeta {

// Decodes the still image at path with FFmpeg into 8-bit RGBA, row 0 at the
// top, the stored values as they are (no colour-space conversion beyond the
// pixel-format change; alpha straight). Any format the installed FFmpeg
// decodes is accepted (PNG, JPEG, BMP, GIF's first frame, TIFF, WebP, TGA,
// ...). An image larger than limits.maxDimension is scaled down, aspect kept.
//
// Returns none, silently, on any failure: a missing file, a folder, a FIFO or
// device, an empty, corrupt or truncated file, a picture beyond
// limits.maxPixels, or cancel raised (checked on every read and between
// steps). Blocking and possibly slow: call it off the interface thread
// (ImageLoad does). Any thread.
std::optional<PixelImage> decodeImageFile(const std::string& path, const ImageLimits& limits = {},
                                          const std::atomic<bool>* cancel = nullptr);

} // namespace prismeta
