// Fuzz target: bytes as a video file, opened as a video surface's media: by a
// MediaSource through the windows' FFmpeg backend (a VideoPlayer on its own
// decoding thread, on the surface's playback clock), drawn at a few host
// times and released; and decoded at fixed times as the command-line
// renderer does, HAP frames also as their compressed blocks. Nothing may
// crash, release must return promptly and leave no decoding thread behind,
// and every picture must be as large as it says.
#include "FuzzChecks.h"
#include "MediaHarness.h"
#include "ScratchFile.h"

#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <variant>

namespace {

[[noreturn]] void fault(const char* what) {
    prismeta::fuzz::fault("video", what);
}

constexpr int maxSide = 1024;

prismeta::VideoOptions fuzzOptions() {
    prismeta::VideoOptions options;
    options.maxDimension = maxSide;
    options.maxPixels = 2048 * 2048;
    options.decoderThreads = 2;
    return options;
}

prismeta::fuzz::MediaHarness* harness() {
    prismeta::LiveMediaOptions options;
    // Each frame waits until the decoder has settled what is due, so a run
    // does not depend on the machine's speed; a stall longer than this is a
    // hang for libFuzzer's -timeout to report.
    options.waitForDecoders = true;
    options.patience = std::chrono::seconds(5);
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
    static fuzz::ScratchFile file("video");
    if (!file.write(data, size)) {
        fault("scratch file not written");
    }
    const VideoOptions options = fuzzOptions();

    for (const double seconds : {0.0, 0.75}) {
        if (auto picture = decodeVideoFrameAt(file.path(), seconds, options)) {
            fuzz::checkPictureSize(*picture, maxSide, "video");
        }
    }
    // The same with every block texture family: HAP frames come as their
    // blocks, parsed and decompressed by the media library's own reader.
    VideoOptions blocks = options;
    blocks.blockTextures = {true, true, true, maxSide};
    if (auto picture = decodeVideoPictureAt(file.path(), 0.1, blocks)) {
        if (const auto* pixels = std::get_if<PixelImage>(&*picture)) {
            fuzz::checkPictureSize(*pixels, maxSide, "video");
        } else if (const auto* block = std::get_if<BlockPicture>(&*picture)) {
            const std::size_t blocksWide = (static_cast<std::size_t>(block->width) + 3) / 4;
            const std::size_t blocksHigh = (static_cast<std::size_t>(block->height) + 3) / 4;
            const std::size_t blockBytes =
                block->format == PictureFormat::bc1 || block->format == PictureFormat::bc4 ? 8 : 16;
            if (block->width < 1 || block->height < 1 || block->width > maxSide ||
                block->height > maxSide ||
                block->blocks.size() != blocksWide * blocksHigh * blockBytes ||
                (!block->alpha.empty() && block->alpha.size() != blocksWide * blocksHigh * 8)) {
                fault("compressed picture has an impossible size");
            }
        }
    }

    if (fuzz::MediaHarness* h = harness()) {
        if (h->show(MediaKind::video, file.path(), {0.0, 0.1, 0.6}).releaseSeconds > 3.0) {
            fault("releasing the video source blocked");
        }
        if (VideoPlayer::liveDecoderThreads() != 0) {
            fault("a decoding thread outlived its source");
        }
    }
    return 0;
}
