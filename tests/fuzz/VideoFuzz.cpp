// Fuzz target: bytes as a video file, opened as a video surface's media is:
// played from its start by a VideoPlayer (its own decoding thread) and
// released, and decoded at fixed times as the command-line renderer does.
// Nothing may crash, release must return promptly and leave no decoding
// thread behind, and every picture must be as large as it says.
#include "ScratchFile.h"

#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "video fuzz: %s\n", what);
    std::abort();
}

prismeta::VideoOptions fuzzOptions() {
    prismeta::VideoOptions options;
    options.maxDimension = 1024;
    options.maxPixels = 2048 * 2048;
    options.decoderThreads = 2;
    return options;
}

void checkPicture(int width, int height, std::size_t rowBytes, int maxDimension) {
    if (width < 1 || height < 1 || width > maxDimension || height > maxDimension ||
        rowBytes < static_cast<std::size_t>(width) * 4) {
        fault("picture has an impossible size");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    static fuzz::ScratchFile file("video");
    if (!file.write(data, size)) {
        fault("scratch file not written");
    }
    const VideoOptions options = fuzzOptions();

    for (const double seconds : {0.0, 0.75}) {
        if (auto picture = decodeVideoFrameAt(file.path(), seconds, options)) {
            checkPicture(picture->width, picture->height,
                         picture->pixels.size() /
                             static_cast<std::size_t>(std::max(picture->height, 1)),
                         options.maxDimension);
        }
    }

    auto player = std::make_unique<VideoPlayer>(file.path(), 0.0, 0.0, options);
    for (const double hostTime : {0.0, 0.1, 0.6}) {
        VideoFrameLease lease = player->waitFrameDue(hostTime, std::chrono::seconds(5));
        if (lease) {
            checkPicture(lease->width, lease->height, static_cast<std::size_t>(lease->stride),
                         options.maxDimension);
            // Read the last byte of every row, as an upload would.
            unsigned sum = 0;
            for (int y = 0; y < lease->height; ++y) {
                sum += lease->pixels[static_cast<std::size_t>(y) *
                                         static_cast<std::size_t>(lease->stride) +
                                     static_cast<std::size_t>(lease->width) * 4 - 1];
            }
            (void)sum;
        }
    }
    const auto released = Clock::now();
    player.reset();
    if (Clock::now() - released > std::chrono::seconds(3)) {
        fault("releasing the player blocked");
    }
    if (VideoPlayer::liveDecoderThreads() != 0) {
        fault("a decoding thread outlived its player");
    }
    return 0;
}
