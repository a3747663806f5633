#include "render/FFmpegMediaBackend.h"

#include "media/ImageDecoder.h"
#include "media/ImageLoad.h"
#include "media/PixelImage.h"
#include "media/PlaybackClock.h"
#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include <optional>
#include <string>
#include <utility>

namespace prismeta {

namespace {

MediaFrame frameOf(const PixelImage& image) {
    return MediaFrame{image.width, image.height, static_cast<std::size_t>(image.width) * 4,
                      image.order == ChannelOrder::bgra ? MediaPixelFormat::bgra8
                                                        : MediaPixelFormat::rgba8,
                      image.pixels.data()};
}

ImageLimits imageLimits(const MediaRequest& request) {
    ImageLimits limits;
    if (request.maxTextureSize > 0) {
        limits.maxDimension = request.maxTextureSize;
    }
    return limits;
}

VideoOptions videoOptions(const MediaRequest& request) {
    VideoOptions options;
    if (request.maxTextureSize > 0) {
        options.maxDimension = request.maxTextureSize;
    }
    return options;
}

// A still decoding on the loader threads; the decoded picture is kept here
// until the source has uploaded it and lets the feed go.
class LoadingImage final : public ImageFeed {
public:
    LoadingImage(const MediaRequest& request, bool wait)
        : load_(std::string(request.path), imageLimits(request)), wait_(wait) {}

    std::optional<MediaFrame> takeImage() override {
        if (!image_) {
            if (wait_) {
                load_.wait();
            }
            image_ = load_.takeImage();
            if (!image_) {
                return std::nullopt;
            }
        }
        return frameOf(*image_);
    }

    bool pending() const override {
        return image_.has_value() || load_.state() != ImageLoad::State::failed;
    }

private:
    ImageLoad load_;
    bool wait_;
    std::optional<PixelImage> image_;
};

// One video source's playback: a member of the surface's shared clock and a
// decoder thread following it. The lease on the picture handed out goes back
// as soon as the source has uploaded it.
class PlayingVideo final : public VideoFeed {
public:
    PlayingVideo(const MediaRequest& request, const LiveMediaOptions& options)
        : clock_(request.surface, std::string(request.signature), request.hostTimeSeconds),
          player_(std::string(request.path), clock_.start(), request.hostTimeSeconds,
                  videoOptions(request)),
          wait_(options.waitForDecoders), patience_(options.patience) {}

    std::optional<MediaFrame> newFrame(double hostTimeSeconds) override {
        lease_.reset();
        lease_ = wait_ ? player_.waitFrameDue(hostTimeSeconds, patience_)
                       : player_.frameDue(hostTimeSeconds);
        if (!lease_) {
            return std::nullopt;
        }
        return MediaFrame{lease_->width, lease_->height, static_cast<std::size_t>(lease_->stride),
                          MediaPixelFormat::bgra8, lease_->pixels};
    }

    void releaseFrame() override { lease_.reset(); }

    bool playing() const override { return player_.decoding(); }

private:
    // Destroyed in reverse: the lease before its player, the player (and so
    // its thread) before the playback it follows ends.
    PlaybackClock clock_;
    VideoPlayer player_;
    VideoFrameLease lease_;
    bool wait_;
    std::chrono::milliseconds patience_;
};

// A picture decoded before the feed was made, delivered once.
class ReadyPicture final : public ImageFeed, public VideoFeed {
public:
    explicit ReadyPicture(std::optional<PixelImage> picture) : picture_(std::move(picture)) {}

    std::optional<MediaFrame> takeImage() override {
        if (!picture_) {
            return std::nullopt;
        }
        return frameOf(*picture_);
    }

    std::optional<MediaFrame> newFrame(double) override {
        if (delivered_) {
            return std::nullopt;
        }
        delivered_ = true;
        return takeImage();
    }

    bool pending() const override { return picture_.has_value(); }
    bool playing() const override { return picture_.has_value() && !delivered_; }

private:
    std::optional<PixelImage> picture_;
    bool delivered_ = false;
};

} // namespace

MediaBackend liveMediaBackend(const LiveMediaOptions& options) {
    MediaBackend backend;
    backend.openImage = [wait = options.waitForDecoders](const MediaRequest& request) {
        return std::make_unique<LoadingImage>(request, wait);
    };
    backend.openVideo = [options](const MediaRequest& request) {
        return std::make_unique<PlayingVideo>(request, options);
    };
    backend.videoUpload = options.videoUpload;
    return backend;
}

MediaBackend mediaBackendAt(double seconds,
                            std::function<void(const std::string& path)> noPicture) {
    MediaBackend backend;
    backend.openImage = [](const MediaRequest& request) -> std::unique_ptr<ImageFeed> {
        return std::make_unique<ReadyPicture>(
            decodeImageFile(std::string(request.path), imageLimits(request)));
    };
    backend.openVideo = [seconds, noPicture = std::move(noPicture)](
                            const MediaRequest& request) -> std::unique_ptr<VideoFeed> {
        const std::string path(request.path);
        auto picture = decodeVideoFrameAt(path, seconds, videoOptions(request));
        if (!picture && noPicture) {
            noPicture(path);
        }
        return std::make_unique<ReadyPicture>(std::move(picture));
    };
    return backend;
}

} // namespace prismeta
