#include "media/VideoFrameAt.h"

#include "media/FFmpegLog.h"
#include "media/PixelConverter.h"
#include "media/VideoStream.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace prismeta {

namespace {

// As in the player: a picture due exactly at the requested time counts as due
// despite rounding of its time in seconds.
constexpr double dueSlack = 1e-9;

} // namespace

std::optional<PixelImage> decodeVideoFrameAt(const std::string& path, double seconds,
                                             const VideoOptions& options) {
    silenceFFmpegLogging();
    const std::atomic<bool> never{false};
    const double target = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    auto stream = VideoStream::open(path, options.maxPixels, options.decoderThreads, &never);
    ff::Frame best = ff::makeFrame();
    ff::Frame current = ff::makeFrame();
    if (!stream || !best || !current) {
        return std::nullopt;
    }
    // Where the loop length cannot be measured the stream starts over and
    // skips whole loops at each loop point instead.
    stream->seekTo(target);
    bool found = false;
    double time = 0.0;
    while (stream->next(current.get(), &time, target)) {
        if (time > target + dueSlack) {
            av_frame_unref(current.get());
            break;
        }
        av_frame_unref(best.get());
        av_frame_move_ref(best.get(), current.get());
        found = true;
    }
    if (!found) {
        return std::nullopt;
    }
    PixelConverter converter(PixelConverter::Quality::fast);
    return converter.toPixelImage(*best, ChannelOrder::bgra, options.maxDimension);
}

} // namespace prismeta
