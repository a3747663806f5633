#pragma once

#include "media/FFmpeg.h"
#include "media/MediaInput.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// The decoded pictures of one video file as an endless, seamlessly looping
// sequence on one continuous timeline. Audio and every other stream are
// discarded unread; the decoder runs with its own threads.
//
// Timeline: a picture's time is (its pts - the first picture's pts) plus k
// times the loop length L, in seconds, where k counts completed loops and
// L = last pts + that picture's duration - first pts. So the first picture
// after a loop is due exactly one frame duration after the last one.
//
// At the end of the file the decoder is drained, the demuxer seeks back to the
// first picture (or the file is reopened where seeking fails) and the decoder
// is flushed. A pass over the file that yields no picture ends the stream, so
// a broken file cannot spin, and a file of a single picture stops after it.
// Internal to the media library; one thread at a
// time. The cancel flag may be raised from any thread and must outlive the
// stream.
class VideoStream {
public:
    // Opens path and its best video stream (cover art does not count). None,
    // silently, if the file cannot be read or has no decodable video stream,
    // or if its pictures would exceed maxPixels.
    static std::unique_ptr<VideoStream> open(const std::string& path, std::int64_t maxPixels,
                                             int decoderThreads, const std::atomic<bool>* cancel);
    ~VideoStream();
    VideoStream(const VideoStream&) = delete;
    VideoStream& operator=(const VideoStream&) = delete;

    int width() const { return codec_->width; }
    int height() const { return codec_->height; }

    // Decodes the next picture into frame (which must be unreferenced) with
    // its time. notBefore is the earliest time still of interest: at a loop
    // point, loops that end before it are skipped instead of decoded. False
    // when playback cannot go on (cancelled, unreadable, or a pass without a
    // picture).
    bool next(AVFrame* frame, double* time, double notBefore = 0.0);

    // Positions the stream so that the coming pictures start at or shortly
    // before the one due at time, with loops counted: needs the first
    // picture's pts (decoded here if not yet known) and the loop length
    // (measured from the last packets of the file, without decoding). False if
    // that is impossible; the stream then goes on from its start.
    bool seekTo(double time);

    // Jumps ahead towards the picture due at time when that saves decoding:
    // to a later loop, or to a key frame between the current picture and the
    // one due. False (and nothing changed) when no such jump exists, for
    // instance in a long group of pictures or a file without an index.
    bool catchUp(double time);

    // L in seconds, once measured or learnt at a loop point.
    std::optional<double> loopLength() const;

private:
    VideoStream() = default;

    bool openInput();
    bool accept(AVFrame* frame, double* time);
    bool restart(double notBefore);
    bool rewindTo(std::int64_t timestamp);
    std::int64_t timestampWithinLoop(double time, std::int64_t* loop) const;
    void resumeAfter(std::int64_t timestamp);
    bool measureLoop();
    bool cancelled() const {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }
    void resetPass();

    std::string path_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::int64_t maxPixels_ = 0;
    std::unique_ptr<MediaInput> input_;
    int stream_ = -1;
    AVRational timeBase_{1, 1};
    ff::Codec codec_;
    ff::Packet packet_;
    std::int64_t fallbackDuration_ = 1;

    std::optional<std::int64_t> firstTs_;
    std::optional<std::int64_t> loopTs_;
    bool measureTried_ = false;
    std::int64_t loop_ = 0;

    static constexpr int maxDrainErrors = 64;
    bool draining_ = false;
    int drainErrors_ = 0;
    int passPictures_ = 0;
    bool havePassLast_ = false;
    std::int64_t lastTs_ = 0;
    std::int64_t lastDuration_ = 0;
};

} // namespace prismeta
