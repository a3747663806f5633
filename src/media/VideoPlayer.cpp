#include "media/VideoPlayer.h"

#include "media/FFmpegLog.h"
#include "media/FramePool.h"
#include "media/HapPictures.h"
#include "media/PixelConverter.h"
#include "media/ThreadReaper.h"
#include "media/VideoStream.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <utility>

namespace prismeta {

namespace {

std::atomic<int> liveThreads{0};

// How far behind the renderer's time the decoder may fall before it looks
// for a jump ahead.
constexpr double catchUpLag = 1.0;

// The render loop's period (60 Hz), against which the decoder's pace is
// judged.
constexpr double pollInterval = 1.0 / 60.0;

// Row alignment of the converted pictures: what swscale's vector code likes.
constexpr int rowAlignment = 32;

} // namespace

struct VideoPlayer::State {
    explicit State(const VideoOptions& playerOptions)
        : options(playerOptions), pool(std::max(2, playerOptions.bufferCount)) {}

    VideoOptions options;
    FramePool pool;
    std::atomic<bool> stop{false};
    // The latest media time the renderer has asked for: pictures superseded
    // by one due at or before it can never be shown.
    std::atomic<double> watermark{0.0};
    std::atomic<PictureRoute> route{PictureRoute::undecided};
    // The pictures of a stream played as blocks; made with the stream.
    std::unique_ptr<HapPictures> blocks;

    void run(const std::string& path, double startTime);
    bool deliver(AVFrame* frame, double time, PixelConverter& converter);
    bool deliverBlocks(AVFrame* frame, double time, int slot);
};

// VideoFrameLease

VideoFrameLease::VideoFrameLease(FramePool* pool, int slot)
    : pool_(pool), slot_(slot), frame_(&pool->frame(slot)) {}

VideoFrameLease::VideoFrameLease(VideoFrameLease&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)), slot_(std::exchange(other.slot_, -1)),
      frame_(std::exchange(other.frame_, nullptr)) {}

VideoFrameLease& VideoFrameLease::operator=(VideoFrameLease&& other) noexcept {
    if (this != &other) {
        reset();
        pool_ = std::exchange(other.pool_, nullptr);
        slot_ = std::exchange(other.slot_, -1);
        frame_ = std::exchange(other.frame_, nullptr);
    }
    return *this;
}

void VideoFrameLease::reset() {
    if (pool_ != nullptr) {
        pool_->recycle(slot_);
        pool_ = nullptr;
        slot_ = -1;
        frame_ = nullptr;
    }
}

// The decoding thread

void VideoPlayer::State::run(const std::string& path, double startTime) {
    silenceFFmpegLogging();
    auto stream = VideoStream::open(path, options.maxPixels, options.decoderThreads, &stop,
                                    options.blockTextures);
    ff::Frame pending = ff::makeFrame();
    ff::Frame current = ff::makeFrame();
    if (stream && options.once) {
        stream->playOnce();
    }
    route.store(stream ? stream->route() : PictureRoute::pixels);
    if (stream && stream->route() == PictureRoute::blocks) {
        blocks =
            std::make_unique<HapPictures>(stream->width(), stream->height(), options.blockTextures);
    }
    if (stream && pending && current) {
        if (startTime > 0.0) {
            stream->seekTo(startTime);
        }
        PixelConverter converter(PixelConverter::Quality::fast);
        // A picture is held back until the next is decoded: only then is it
        // known whether it will ever be shown. When that next one is already
        // due, the held one is dropped unconverted. The next one itself is
        // held too while decoding runs faster than the renderer polls (a
        // run-up to the picture due after a seek or a stall: showing its
        // pictures would fast-forward); at a slower pace it is delivered at
        // once, since a late picture beats a frozen screen.
        bool havePending = false;
        double pendingTime = 0.0;
        double decodeSeconds = 0.0;
        long long pictures = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            double time = 0.0;
            const double wanted = watermark.load(std::memory_order_relaxed);
            const auto decodeStart = std::chrono::steady_clock::now();
            if (!stream->next(current.get(), &time, wanted)) {
                break;
            }
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - decodeStart)
                    .count();
            // The first picture's wait fills the codec's pipeline; it says
            // nothing about the pace.
            if (pictures++ > 0) {
                decodeSeconds = pictures == 2 ? took : 0.75 * decodeSeconds + 0.25 * took;
            }
            // Far behind the renderer (it stopped polling for a while, or the
            // machine is too slow): jump instead of decoding everything due.
            if (wanted - time > catchUpLag && stream->catchUp(wanted)) {
                av_frame_unref(current.get());
                av_frame_unref(pending.get());
                havePending = false;
                continue;
            }
            const bool due = time <= watermark.load(std::memory_order_relaxed) + dueSlack;
            if (havePending) {
                if (due) {
                    av_frame_unref(pending.get());
                } else if (!deliver(pending.get(), pendingTime, converter)) {
                    break;
                }
                havePending = false;
            }
            if (due && decodeSeconds > pollInterval) {
                if (!deliver(current.get(), time, converter)) {
                    break;
                }
                continue;
            }
            std::swap(pending, current);
            pendingTime = time;
            havePending = true;
        }
        if (havePending && !stop.load(std::memory_order_relaxed)) {
            deliver(pending.get(), pendingTime, converter);
        }
    }
    blocks.reset(); // its helper threads end with the decoding
    pool.finish();
}

bool VideoPlayer::State::deliver(AVFrame* frame, double time, PixelConverter& converter) {
    const int slot = pool.acquire();
    if (slot < 0) {
        av_frame_unref(frame);
        return false;
    }
    if (blocks) {
        return deliverBlocks(frame, time, slot);
    }
    const PictureSize size = fitWithin(frame->width, frame->height, options.maxDimension);
    const int stride = (size.width * 4 + rowAlignment - 1) / rowAlignment * rowAlignment;
    const std::size_t bytes =
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height);
    std::uint8_t* memory = pool.storage(slot, bytes + PixelConverter::destinationSlack);
    if (memory == nullptr ||
        !converter.convert(*frame, AV_PIX_FMT_BGRA, size.width, size.height, memory, stride)) {
        // This picture is lost; the next one may still convert.
        pool.recycle(slot);
        av_frame_unref(frame);
        return true;
    }
    VideoFrame& out = pool.frame(slot);
    out = VideoFrame{};
    out.pixels = memory;
    out.width = size.width;
    out.height = size.height;
    out.stride = stride;
    out.time = time;
    pool.publish(slot);
    av_frame_unref(frame);
    return true;
}

bool VideoPlayer::State::deliverBlocks(AVFrame* frame, double time, int slot) {
    const std::size_t bytes = blocks->prepare(*frame);
    std::uint8_t* memory = bytes > 0 ? pool.storage(slot, bytes) : nullptr;
    VideoFrame& out = pool.frame(slot);
    if (memory == nullptr || !blocks->write(*frame, memory, out)) {
        // Its Snappy data was corrupt. The picture still takes its place in
        // time, empty, so that the last good one stays on screen and a
        // renderer waiting for what is due learns that nothing more is.
        out = VideoFrame{};
    }
    out.time = time;
    pool.publish(slot);
    av_frame_unref(frame);
    return true;
}

// VideoPlayer

VideoPlayer::VideoPlayer(std::string path, double playbackStart, double hostNow,
                         VideoOptions options)
    : playbackStart_(playbackStart), state_(std::make_shared<State>(options)) {
    // A playback that has not started (notStarted, infinite) decodes from
    // its first picture and waits there.
    const double startTime = std::max(0.0, hostNow - playbackStart);
    state_->watermark = startTime;
    liveThreads.fetch_add(1);
    try {
        thread_ = std::thread([state = state_.get(), path = std::move(path), startTime] {
            state->run(path, startTime);
            liveThreads.fetch_sub(1);
        });
    } catch (const std::system_error&) {
        liveThreads.fetch_sub(1);
        state_->route = PictureRoute::pixels;
        state_->pool.finish();
    }
}

VideoPlayer::~VideoPlayer() {
    state_->stop = true;
    state_->pool.close();
    // The thread may be in the middle of a picture: it is joined, and its
    // state let go, on the reaper's thread rather than the caller's.
    ThreadReaper::instance().retire(std::move(thread_), std::move(state_));
}

VideoFrameLease VideoPlayer::frameDue(double hostTime) {
    const double time = hostTime - playbackStart_;
    if (time > state_->watermark.load(std::memory_order_relaxed)) {
        state_->watermark.store(time, std::memory_order_relaxed);
    }
    const int slot = state_->pool.takeDue(time + dueSlack);
    return slot >= 0 ? VideoFrameLease(&state_->pool, slot) : VideoFrameLease();
}

VideoFrameLease VideoPlayer::waitFrameDue(double hostTime, std::chrono::milliseconds timeout) {
    const double time = hostTime - playbackStart_;
    if (time > state_->watermark.load(std::memory_order_relaxed)) {
        state_->watermark.store(time, std::memory_order_relaxed);
    }
    const int slot =
        state_->pool.takeDueWaiting(time + dueSlack, std::chrono::steady_clock::now() + timeout);
    return slot >= 0 ? VideoFrameLease(&state_->pool, slot) : VideoFrameLease();
}

bool VideoPlayer::decoding() const {
    return !state_->pool.finished();
}

PictureRoute VideoPlayer::route() const {
    return state_->route.load();
}

int VideoPlayer::liveDecoderThreads() {
    ThreadReaper::instance().waitIdle();
    return liveThreads.load();
}

} // namespace prismeta
