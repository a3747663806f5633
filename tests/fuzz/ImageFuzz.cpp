// Fuzz target: bytes as a still image file, decoded as an image surface's
// media is: by content (the file has no extension), to 8-bit RGBA. A picture
// that decodes must be as large as its pixel buffer says and within the
// limits; everything else must fail quietly.
#include "ScratchFile.h"

#include "media/ImageDecoder.h"
#include "media/ImageLoad.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "image fuzz: %s\n", what);
    std::abort();
}

// Tighter than a surface's limits, so that a header claiming a large picture
// costs the fuzzer tens of megabytes, not gigabytes; the refusal itself is
// the same code.
prismeta::ImageLimits fuzzLimits() {
    prismeta::ImageLimits limits;
    limits.maxDimension = 2048;
    limits.maxPixels = 4096 * 4096;
    return limits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    static fuzz::ScratchFile file("image");
    if (!file.write(data, size)) {
        fault("scratch file not written");
    }
    const ImageLimits limits = fuzzLimits();
    const std::optional<PixelImage> image = decodeImageFile(file.path(), limits);
    if (image) {
        if (image->width < 1 || image->height < 1 || image->width > limits.maxDimension ||
            image->height > limits.maxDimension ||
            image->pixels.size() != static_cast<std::size_t>(image->width) *
                                        static_cast<std::size_t>(image->height) * 4) {
            fault("decoded picture has an impossible size");
        }
    }
    // The same file loaded off the thread and dropped at once, as when a
    // surface's media changes while its still is loading.
    { ImageLoad dropped(file.path(), limits); }
    return 0;
}
