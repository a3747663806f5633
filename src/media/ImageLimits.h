#pragma once

#include <cstdint>

namespace prismeta {

// Bounds for decoding one still image.
struct ImageLimits {
    // Largest side of the result: the GL maximum texture size. A larger image
    // is scaled down to fit, aspect kept, rather than refused.
    int maxDimension = 16384;
    // Largest decoded picture (width * height). Beyond it the decoder refuses
    // the image from its header, before the picture is allocated.
    std::int64_t maxPixels = 256'000'000;
    // Largest file read at all; image demuxers read a file whole.
    std::int64_t maxFileBytes = std::int64_t{1} << 30;
};

} // namespace prismeta
