#pragma once

#include "media/FFmpeg.h"
#include "media/MediaInput.h"
#include "media/PictureDecoder.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

// Times in seconds are compared with this slack, so a picture due exactly at
// a requested time counts as due despite rounding.
inline constexpr double dueSlack = 1e-9;

// The decoded pictures of one video file as an endless, seamlessly looping
// sequence on one continuous timeline. Audio and every other stream are
// discarded unread.
//
// Two layers: the demuxer (MediaInput) and a PictureDecoder turn the file
// into pictures, each with its pts and duration; this class owns everything
// about time on top of them: where the loop starts and ends, seeking,
// skipping ahead. So any PictureDecoder plays with the same looping, loop
// length and seeking.
//
// Timeline: a picture's time is (its pts - the first picture's pts) plus k
// times the loop length L, in seconds, where k counts completed loops, and
// L = the last picture's pts + its duration - the first picture's pts, all of
// decoded pictures. A picture's duration is its packet's, or one frame at the
// stream's frame rate where the container gives none; a picture without a
// timestamp (raw elementary streams, most pictures of an MPEG program
// stream) follows the one before it; after a seek, pictures before the first
// with a timestamp are not placed at all. L is learnt
// at the end of the first pass or, when a seek needs it sooner, measured by
// decoding the file's last pictures: the same pictures, so the same value
// wherever it is used.
//
// Seeking: demuxers land where they can, not where asked. MPEG-TS and PS seek
// by decode time, AVI and MP4 by an index whose key frame may still come
// after the wanted picture in presentation order, and a file with one key
// frame has nothing to land on. So every seek is checked by decoding the
// first picture it yields: when that picture is later than the one wanted,
// or none comes, the seek is redone from an earlier point, down to the file's
// start, and decoding goes forward from there. After a seek into the middle,
// packets before the next key frame are skipped rather than decoded into
// broken pictures.
//
// At the end of the file the decoder is drained and the stream returns to
// its first picture the same checked way (from the file's first byte, or by
// reopening it, where seeking by time fails). A pass over the file that yields no picture ends the
// stream, so a broken file cannot spin, and a file of a single picture stops after it.
//
// Internal to the media library; one thread at a time. The cancel flag may be
// raised from any thread and must outlive the stream.
class VideoStream {
public:
    // Opens path and its best video stream (cover art does not count). None,
    // silently, if the file cannot be read or has no decodable video stream,
    // or if its pictures would exceed maxPixels.
    // A HAP stream whose blocks blockTextures covers hands out its pictures
    // as blocks (see openPictureDecoder).
    static std::unique_ptr<VideoStream> open(const std::string& path, std::int64_t maxPixels,
                                             int decoderThreads, const std::atomic<bool>* cancel,
                                             const BlockTextures& blockTextures = {});
    ~VideoStream();
    VideoStream(const VideoStream&) = delete;
    VideoStream& operator=(const VideoStream&) = delete;

    // Decodes the next picture into frame (which must be unreferenced) with
    // its time. notBefore is the earliest time still of interest: at a loop
    // point, loops that end before it are skipped instead of decoded. False
    // when playback cannot go on (cancelled, unreadable, or a pass without a
    // picture).
    bool next(AVFrame* frame, double* time, double notBefore = 0.0);

    // Positions the stream so that the coming pictures start at or before the
    // one due at time, with loops counted. Needs the first picture's pts and
    // the loop length (both decoded here if not yet known). False if that is
    // impossible; the stream then goes on from its start.
    bool seekTo(double time);

    // Jumps ahead towards the picture due at time when that saves decoding:
    // to a later loop, or to a key frame between the current picture and the
    // one due. False (and nothing shown twice) when no such jump exists, for
    // instance in a long group of pictures or a file without an index.
    bool catchUp(double time);

    // L in seconds, once measured or learnt at a loop point.
    std::optional<double> loopLength() const;
    // L, measured now by decoding the file's last pictures where it is not
    // known yet. Only on a stream nothing has been read from; the stream is
    // left at its start.
    std::optional<double> measureLength();

    // One pass instead of a loop: next() ends after the last picture, and
    // seekTo and catchUp treat times past L as the last picture's.
    void playOnce() { once_ = true; }

    // How the pictures come: decoded to pixels, or a HAP stream's packets
    // as they are (HapPictures turns them into blocks).
    PictureRoute route() const { return route_; }
    // The picture size the container gives.
    int width() const;
    int height() const;

private:
    enum class Read { picture, end, failed };

    // The pictures decoded since the last seek, in presentation order.
    struct Run {
        bool atStart = false; // began at the file's first picture
        bool haveLast = false;
        std::int64_t lastTs = 0;
        std::int64_t lastEnd = 0; // lastTs plus its duration
        int pictures = 0;
    };

    VideoStream() = default;

    bool openInput();
    bool cancelled() const {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }

    // Demuxing and decoding.
    Read decode(AVFrame* frame);
    Read decodePlaced(AVFrame* frame, std::int64_t* ts);
    std::optional<std::int64_t> place(const AVFrame& frame);
    void startRun(bool atStart);
    void hold(AVFrame* frame, std::int64_t ts);
    void dropHeld();

    // Positioning, each checked by the first picture it yields.
    bool seekDemuxer(std::int64_t timestamp, int flags);
    bool rewindToStart();
    bool positionAt(std::int64_t target);
    bool learnFirstPicture();
    bool measureLoop();
    std::int64_t backoff(int attempt) const;
    bool loopPoint(double notBefore);
    std::int64_t timestampWithinLoop(double time, std::int64_t* loop) const;
    bool timeOf(std::int64_t ts, double* time) const;

    std::string path_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::unique_ptr<MediaInput> input_;
    int stream_ = -1;
    AVRational timeBase_{1, 1};
    std::unique_ptr<PictureDecoder> decoder_;
    PictureRoute route_ = PictureRoute::pixels;
    ff::Packet packet_;
    std::int64_t fallbackDuration_ = 1;

    // What the file has shown of itself.
    std::optional<std::int64_t> firstTs_;
    std::optional<std::int64_t> loopTs_;
    bool measureTried_ = false;
    bool keysFlagged_ = false; // its demuxer marks key frames
    // Which way back to the first picture worked last (an index into the
    // ways rewindToStart tries).
    int rewindWay_ = 0;

    bool once_ = false;
    std::int64_t loop_ = 0;
    // Pictures handed out since the last loop point.
    int passDelivered_ = 0;
    Run run_;
    // Pictures at or before this pts were already handed out in this loop
    // (a jump within the loop may land before them).
    std::optional<std::int64_t> floor_;
    ff::Frame held_;
    bool haveHeld_ = false;
    std::int64_t heldTs_ = 0;

    static constexpr int maxDrainErrors = 64;
    static constexpr int maxSeekAttempts = 24;
    bool draining_ = false;
    int drainErrors_ = 0;
    bool awaitKey_ = false;
};

} // namespace prismeta
