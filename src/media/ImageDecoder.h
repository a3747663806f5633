#pragma once

#include "media/GreyImage.h"
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

// The same file as one channel of 16 bits (a blend map): greyscale files at
// 8 or 16 bits (with or without alpha, which is ignored) and 16-bit RGB keep
// every bit they store (8-bit values v become v * 257); any other picture is
// decoded as decodeImageFile does and its luma taken (Rec. 709 weights on the
// stored values), and so is one larger than limits.maxDimension (scaled
// down). None on any failure, as decodeImageFile.
std::optional<GreyImage> decodeGreyImageFile(const std::string& path,
                                             const ImageLimits& limits = {},
                                             const std::atomic<bool>* cancel = nullptr);

} // namespace prismeta
