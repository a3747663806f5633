#include "render/FFmpegMediaBackend.h"

#include "core/Log.h"
#include "media/ImageDecoder.h"
#include "media/ImageLoad.h"
#include "media/LiveSources.h"
#include "media/PixelImage.h"
#include "media/PlaybackClock.h"
#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

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
    options.blockTextures.s3tc = request.compressedTextures.s3tc;
    options.blockTextures.rgtc = request.compressedTextures.rgtc;
    options.blockTextures.bptc = request.compressedTextures.bptc;
    options.blockTextures.maxSide = options.maxDimension;
    options.once = request.once;
    return options;
}

MediaPixelFormat mediaFormatOf(PictureFormat format) {
    switch (format) {
    case PictureFormat::bgra8:
        return MediaPixelFormat::bgra8;
    case PictureFormat::bc1:
        return MediaPixelFormat::bc1;
    case PictureFormat::bc3:
        return MediaPixelFormat::bc3;
    case PictureFormat::bc3ScaledYCoCg:
        return MediaPixelFormat::bc3ScaledYCoCg;
    case PictureFormat::bc4:
        return MediaPixelFormat::bc4;
    case PictureFormat::bc7:
        return MediaPixelFormat::bc7;
    }
    return MediaPixelFormat::bgra8;
}

// A video picture as the renderer takes it: BGRA rows or compressed blocks.
MediaFrame frameOf(const VideoFrame& picture) {
    MediaFrame frame{picture.width, picture.height, static_cast<std::size_t>(picture.stride),
                     mediaFormatOf(picture.format), picture.pixels};
    frame.bytes = picture.bytes;
    frame.alphaPixels = picture.alphaPixels;
    frame.alphaBytes = picture.alphaBytes;
    return frame;
}

MediaFrame frameOf(const BlockPicture& picture) {
    MediaFrame frame{picture.width, picture.height, 0, mediaFormatOf(picture.format),
                     picture.blocks.data()};
    frame.bytes = picture.blocks.size();
    if (!picture.alpha.empty()) {
        frame.alphaPixels = picture.alpha.data();
        frame.alphaBytes = picture.alpha.size();
    }
    return frame;
}

VideoFeed::Route feedRoute(PictureRoute route) {
    switch (route) {
    case PictureRoute::undecided:
        return VideoFeed::Route::undecided;
    case PictureRoute::pixels:
        return VideoFeed::Route::pixels;
    case PictureRoute::blocks:
        return VideoFeed::Route::compressed;
    case PictureRoute::pixelsForLackOfTextures:
        return VideoFeed::Route::pixelsForLackOfTextures;
    }
    return VideoFeed::Route::pixels;
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
// as soon as the source has uploaded it. When the playback is started anew
// (a GO), a player that waited for its start takes it; one that was playing
// is replaced by one at the new start.
class PlayingVideo final : public VideoFeed {
public:
    PlayingVideo(const MediaRequest& request, const LiveMediaOptions& options)
        : path_(request.path), options_(videoOptions(request)),
          clock_(request.surface, std::string(request.signature), request.hostTimeSeconds,
                 request.ahead ? PlaybackClock::Join::cued : PlaybackClock::Join::start),
          player_(std::make_unique<VideoPlayer>(path_, clock_.start(), request.hostTimeSeconds,
                                                options_)),
          wait_(options.waitForDecoders), patience_(options.patience) {}

    std::optional<MediaFrame> newFrame(double hostTimeSeconds) override {
        lease_.reset();
        clock_.startIfCued(hostTimeSeconds); // shown: it plays
        if (const double start = clock_.start(); start != player_->playbackStart()) {
            if (player_->playbackStart() == PlaybackClock::notStarted) {
                player_->setPlaybackStart(start);
            } else {
                player_ = std::make_unique<VideoPlayer>(path_, start, hostTimeSeconds, options_);
            }
        }
        lease_ = wait_ ? player_->waitFrameDue(hostTimeSeconds, patience_)
                       : player_->frameDue(hostTimeSeconds);
        if (!lease_) {
            return std::nullopt;
        }
        return frameOf(*lease_);
    }

    void releaseFrame() override { lease_.reset(); }

    bool playing() const override { return player_->decoding(); }
    Route route() const override { return feedRoute(player_->route()); }

private:
    std::string path_;
    VideoOptions options_;
    // Destroyed in reverse: the lease before its player, the player (and so
    // its thread) before the playback it follows ends.
    PlaybackClock clock_;
    std::unique_ptr<VideoPlayer> player_;
    VideoFrameLease lease_;
    bool wait_;
    std::chrono::milliseconds patience_;
};

LiveReaderOptions liveReaderOptions(const MediaRequest& request) {
    LiveReaderOptions options;
    if (request.maxTextureSize > 0) {
        options.maxDimension = request.maxTextureSize;
    }
    return options;
}

LiveOptions liveOptionsOf(const MediaRequest& request) {
    return request.liveOptions != nullptr ? *request.liveOptions : LiveOptions{};
}

MediaFrame frameOf(const LivePicture& picture) {
    return MediaFrame{picture.width, picture.height, static_cast<std::size_t>(picture.stride),
                      MediaPixelFormat::bgra8, picture.pixels};
}

// One window's view of a live source: the reader every window of the
// process showing that source shares, the number of the picture last
// shown, and the lease on it until it is uploaded. The reader's log lines
// are written by whichever window polls first.
class ShowingLive final : public LiveFeed {
public:
    ShowingLive(const MediaRequest& request, const LiveMediaOptions& options)
        : reader_(LiveSources::acquire(std::string(request.path), liveOptionsOf(request),
                                       liveReaderOptions(request))),
          wait_(options.waitForDecoders), patience_(options.patience) {}

    std::optional<MediaFrame> newFrame(double) override {
        lease_.reset();
        for (const std::string& line : reader_->takeLogLines()) {
            logLine(line);
        }
        LivePictures& pictures = reader_->pictures();
        // Waiting (tests, measurements) is for the first picture only: a
        // source that is gone must not stall every frame.
        const int slot = wait_ && shown_ == 0
                             ? pictures.waitNewer(shown_, LivePictures::Clock::now() + patience_)
                             : pictures.takeNewer(shown_);
        lease_ = LivePictureLease(&pictures, slot);
        if (!lease_) {
            return std::nullopt;
        }
        shown_ = lease_->serial;
        return frameOf(*lease_);
    }

    void releaseFrame() override { lease_.reset(); }

    bool holdsPicture() const override {
        const auto newest = reader_->pictures().newestAt();
        return newest && LivePictures::Clock::now() - *newest <=
                             std::chrono::duration<double>(LiveSources::holdSeconds());
    }

    LiveStatus status() const override { return reader_->status(); }

private:
    // Destroyed in reverse: the lease before the reader it came from.
    std::shared_ptr<LiveReader> reader_;
    LivePictureLease lease_;
    std::uint64_t shown_ = 0;
    bool wait_;
    std::chrono::milliseconds patience_;
};

// A live source's first picture, waited for while the feed was made and
// then shown for good (the command-line renderer's single frame).
class FirstLivePicture final : public LiveFeed {
public:
    explicit FirstLivePicture(std::optional<PixelImage> picture, LiveStatus status)
        : picture_(std::move(picture)), status_(status) {}

    std::optional<MediaFrame> newFrame(double) override {
        if (delivered_ || !picture_) {
            return std::nullopt;
        }
        delivered_ = true;
        return frameOf(*picture_);
    }
    bool holdsPicture() const override { return picture_.has_value(); }
    LiveStatus status() const override { return status_; }

private:
    std::optional<PixelImage> picture_;
    LiveStatus status_;
    bool delivered_ = false;
};

// A picture decoded before the feed was made, delivered once.
class ReadyPicture final : public ImageFeed, public VideoFeed {
public:
    explicit ReadyPicture(std::optional<PixelImage> picture) {
        if (picture) {
            picture_ = std::move(*picture);
        }
    }
    ReadyPicture(std::optional<std::variant<PixelImage, BlockPicture>> picture, PictureRoute route)
        : picture_(std::move(picture)), route_(feedRoute(route)) {}

    std::optional<MediaFrame> takeImage() override {
        if (!picture_) {
            return std::nullopt;
        }
        return std::visit([](const auto& p) { return frameOf(p); }, *picture_);
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
    Route route() const override { return route_; }

private:
    std::optional<std::variant<PixelImage, BlockPicture>> picture_;
    Route route_ = Route::pixels;
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
    backend.openLive = [options](const MediaRequest& request) {
        return std::make_unique<ShowingLive>(request, options);
    };
    backend.videoUpload = options.videoUpload;
    // One show clock for every window of the process: it starts with the
    // first backend made.
    static const double showClockOrigin =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    backend.showClockOrigin = showClockOrigin;
    backend.shadersAtOnce = options.waitForDecoders;
    return backend;
}

MediaBackend mediaBackendAt(double seconds, std::function<void(const NoPicture& file)> noPicture,
                            std::function<double(const MediaRequest&)> secondsOf,
                            double liveWaitSeconds) {
    auto report =
        std::make_shared<const std::function<void(const NoPicture&)>>(std::move(noPicture));
    MediaBackend backend;
    backend.openImage = [report](const MediaRequest& request) -> std::unique_ptr<ImageFeed> {
        const std::string path(request.path);
        auto image = decodeImageFile(path, imageLimits(request));
        if (!image && *report) {
            (*report)(NoPicture{path, false, diagnoseMediaFile(path, false)});
        }
        return std::make_unique<ReadyPicture>(std::move(image));
    };
    backend.openVideo = [seconds, report, secondsOf = std::move(secondsOf)](
                            const MediaRequest& request) -> std::unique_ptr<VideoFeed> {
        const std::string path(request.path);
        PictureRoute route = PictureRoute::pixels;
        const double at = secondsOf ? secondsOf(request) : seconds;
        auto picture = decodeVideoPictureAt(path, at, videoOptions(request), &route);
        if (!picture && *report) {
            (*report)(NoPicture{path, true, diagnoseMediaFile(path, true)});
        }
        return std::make_unique<ReadyPicture>(std::move(picture), route);
    };
    // Every live source waits for its first picture until one deadline,
    // counted from the first one opened, so several sources wait side by
    // side rather than one after another.
    auto liveDeadline = std::make_shared<std::optional<LivePictures::Clock::time_point>>();
    backend.openLive = [report, liveDeadline,
                        liveWaitSeconds](const MediaRequest& request) -> std::unique_ptr<LiveFeed> {
        const std::string source(request.path);
        auto reader =
            LiveSources::acquire(source, liveOptionsOf(request), liveReaderOptions(request));
        if (!*liveDeadline) {
            *liveDeadline = LivePictures::Clock::now() +
                            std::chrono::duration_cast<LivePictures::Clock::duration>(
                                std::chrono::duration<double>(std::max(0.0, liveWaitSeconds)));
        }
        std::optional<PixelImage> copy;
        const LivePictureLease lease(&reader->pictures(),
                                     reader->pictures().waitNewer(0, **liveDeadline));
        if (lease) {
            PixelImage image;
            image.width = lease->width;
            image.height = lease->height;
            image.order = ChannelOrder::bgra;
            image.pixels.resize(static_cast<std::size_t>(lease->width) * 4 *
                                static_cast<std::size_t>(lease->height));
            for (int row = 0; row < lease->height; ++row) {
                std::copy_n(lease->pixels + static_cast<std::size_t>(row) * lease->stride,
                            static_cast<std::size_t>(lease->width) * 4,
                            image.pixels.data() + static_cast<std::size_t>(row) * lease->width * 4);
            }
            copy = std::move(image);
        } else if (*report) {
            NoPicture missing{source, false, std::nullopt};
            missing.live = true;
            missing.portTaken = reader->status().portTaken;
            (*report)(missing);
        }
        return std::make_unique<FirstLivePicture>(std::move(copy), reader->status());
    };
    backend.shadersAtOnce = true; // the show clock reads the host time given
    return backend;
}

} // namespace prismeta
