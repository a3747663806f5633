#pragma once

#include "media/VideoFrameLease.h"
#include "media/VideoOptions.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace prismeta {

// Plays one video file, muted and looping for ever (or once, holding its last
// picture: VideoOptions::once), on a decoding thread of
// its own: demux, decode (codec threads on), convert to BGRA into a small
// fixed pool of buffers, each picture stamped with the time it is due. The
// render loop polls frameDue with the host time of its frame. A HAP video
// whose blocks the renderer samples (options.blockTextures) skips decoding
// and conversion: its pictures come as their compressed blocks, Snappy
// chunks decompressed side by side on a few helper threads into the same
// buffers.
//
// Playback follows the host clock: media time 0 (the first picture) is due at
// playbackStart. A player made later than playbackStart (a window joining a
// playback that is already running) seeks to the picture due at hostNow
// instead of decoding its way there. A player whose playbackStart is not yet
// known (infinite) decodes its first pictures ahead and waits; its start is
// given later (setPlaybackStart), and the first picture shows at once. Pictures that can no longer
// be shown (a newer one is already due) are dropped before conversion.
//
// A file that cannot be played (missing, not a regular file, corrupt,
// truncated, empty, audio only, absurd size) never delivers a picture; its
// thread ends by itself. Nothing is ever logged.
//
// Made, polled and destroyed on one thread (the interface thread); owned by
// one media source. Destruction tells the decoding thread to stop and returns
// at once; the thread is joined in the background (ThreadReaper). Every read
// is interruptible, so it ends promptly even on a stalled file.
class VideoPlayer {
public:
    VideoPlayer(std::string path, double playbackStart, double hostNow, VideoOptions options = {});
    ~VideoPlayer();
    VideoPlayer(const VideoPlayer&) = delete;
    VideoPlayer& operator=(const VideoPlayer&) = delete;

    // The newest picture due at hostTime, if it is newer than the last one
    // taken; otherwise an empty lease (keep showing the last picture). Older
    // pictures that were due meanwhile are skipped. Never blocks on the
    // decoder and allocates nothing. Host times must not go backwards. Let
    // the lease go after the upload: the decoder has only a few buffers. A
    // HAP picture whose data turned out corrupt comes without pixels (null):
    // keep showing the last picture then, too.
    VideoFrameLease frameDue(double hostTime);

    // As frameDue, but first waits (timeout at most) until the decoder has
    // decided what is due at hostTime. For tests and the command-line tool,
    // never for the render loop.
    VideoFrameLease waitFrameDue(double hostTime, std::chrono::milliseconds timeout);

    // Whether the decoding thread is still running: false once it has ended,
    // on a file it cannot play or after the only picture of a still.
    bool decoding() const;

    // How the pictures come (BGRA, or the blocks of a HAP video that
    // options.blockTextures covers), once the file is open; pixels when it
    // cannot be played.
    PictureRoute route() const;

    double playbackStart() const { return playbackStart_; }
    // Gives a player made without a known start (infinite) its start. The
    // pictures it decoded ahead are kept; a later start on a player that has
    // already shown pictures would need a new player instead.
    void setPlaybackStart(double playbackStart) { playbackStart_ = playbackStart; }

    // Decoding threads alive in the process once those of destroyed players
    // have been joined (it waits for that), for tests that check release.
    static int liveDecoderThreads();

    struct State;

private:
    double playbackStart_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace prismeta
