#include "media/VideoFrameAt.h"

#include "media/FFmpegLog.h"
#include "media/HapPictures.h"
#include "media/PixelConverter.h"
#include "media/VideoStream.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace prismeta {

namespace {} // namespace

std::optional<std::variant<PixelImage, BlockPicture>>
decodeVideoPictureAt(const std::string& path, double seconds, const VideoOptions& options,
                     PictureRoute* route) {
    silenceFFmpegLogging();
    const std::atomic<bool> never{false};
    const double target = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    auto stream = VideoStream::open(path, options.maxPixels, options.decoderThreads, &never,
                                    options.blockTextures);
    ff::Frame best = ff::makeFrame();
    ff::Frame current = ff::makeFrame();
    if (route != nullptr) {
        *route = stream ? stream->route() : PictureRoute::pixels;
    }
    if (!stream || !best || !current) {
        return std::nullopt;
    }
    if (options.once) {
        stream->playOnce();
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
    if (stream->route() == PictureRoute::blocks) {
        HapPictures pictures(stream->width(), stream->height(), options.blockTextures);
        const std::size_t bytes = pictures.prepare(*best);
        std::vector<std::uint8_t> memory(bytes);
        VideoFrame view;
        if (bytes == 0 || !pictures.write(*best, memory.data(), view)) {
            return std::nullopt;
        }
        BlockPicture picture;
        picture.format = view.format;
        picture.width = view.width;
        picture.height = view.height;
        picture.alpha.assign(view.alphaPixels, view.alphaPixels + view.alphaBytes);
        memory.resize(view.bytes); // the colour image comes first
        picture.blocks = std::move(memory);
        return picture;
    }
    PixelConverter converter(PixelConverter::Quality::fast);
    auto image = converter.toPixelImage(*best, ChannelOrder::bgra, options.maxDimension);
    if (!image) {
        return std::nullopt;
    }
    return std::move(*image);
}

std::optional<PixelImage> decodeVideoFrameAt(const std::string& path, double seconds,
                                             const VideoOptions& options) {
    VideoOptions pixels = options;
    pixels.blockTextures = {};
    auto picture = decodeVideoPictureAt(path, seconds, pixels);
    if (!picture) {
        return std::nullopt;
    }
    return std::get<PixelImage>(std::move(*picture));
}

} // namespace prismeta
