// Fuzz target: bytes as a still image file, opened as an image surface's
// media: by a MediaSource through the windows' FFmpeg backend (decoded on the
// loader threads, probed by content: the file has no extension), uploaded
// and drawn. Decoded directly as well, where a picture must be as large as
// its buffer says and within the limits. Everything else fails quietly.
#include "FuzzChecks.h"
#include "MediaHarness.h"
#include "ScratchFile.h"

#include "media/ImageDecoder.h"
#include "media/ImageLoad.h"
#include "render/FFmpegMediaBackend.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fault(const char* what) {
    prismeta::fuzz::fault("image", what);
}

constexpr int maxSide = 2048;

prismeta::ImageLimits fuzzLimits() {
    prismeta::ImageLimits limits;
    limits.maxDimension = maxSide;
    limits.maxPixels = 4096 * 4096;
    return limits;
}

prismeta::fuzz::MediaHarness* harness() {
    prismeta::LiveMediaOptions options;
    options.waitForDecoders = true; // the frame shows the still, however slow the decoder
    return prismeta::fuzz::MediaHarness::get(prismeta::liveMediaBackend(options), maxSide);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("LP_NUM_THREADS", "0", 0);
    (void)harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    static fuzz::ScratchFile file("image");
    if (!file.write(data, size)) {
        fault("scratch file not written");
    }
    const ImageLimits limits = fuzzLimits();
    const std::optional<PixelImage> image = decodeImageFile(file.path(), limits);
    if (image) {
        fuzz::checkPictureSize(*image, limits.maxDimension, "image");
    }
    // Dropped while it may still be loading, as when a surface's media
    // changes again at once.
    { ImageLoad dropped(file.path(), limits); }

    if (fuzz::MediaHarness* h = harness()) {
        if (h->show(MediaKind::image, file.path(), {0.0}).releaseSeconds > 3.0) {
            fault("releasing the image source blocked");
        }
    }
    return 0;
}
