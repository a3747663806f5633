#pragma once

#include "core/LiveSource.h"
#include "media/LiveOpen.h"
#include "media/LivePictures.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct AVFormatContext;

namespace prismeta {

// Bounds and timing of one live reader.
struct LiveReaderOptions {
    // Largest side of a delivered picture (the GL maximum texture size);
    // larger pictures are scaled down to fit, aspect kept.
    int maxDimension = 16384;
    // Largest decoded picture accepted at all (width * height): 4096 x 4096.
    std::int64_t maxPixels = std::int64_t{4096} * 4096;
    // Decoder threads (slices); 0 lets FFmpeg choose from the core count.
    int decoderThreads = 0;
    // No packet for this long ends a connection; no picture for this long
    // makes a connected source lost.
    std::chrono::milliseconds stallTimeout{1500};
    // A connection whose packets give no picture for this long is opened
    // again (a sender that changed beyond what the demuxer follows).
    std::chrono::milliseconds garbageTimeout{10'000};
    // How long a called source (a device, an SRT caller, RTSP, HTTP) may
    // take to answer.
    std::chrono::milliseconds openTimeout{5'000};
    // The wait before opening again after a failure, doubled each time up
    // to the largest.
    std::chrono::milliseconds firstRetry{500};
    std::chrono::milliseconds lastRetry{5'000};
    // The size of picture whose memory is made ready while a source has not
    // yet sent one (LivePictures::prepare): a device's requested size where
    // set, else the commonest one. Zero for none.
    int expectedWidth = 1920;
    int expectedHeight = 1080;
};

// One opened input of a live reader, closed when destroyed.
class LiveConnection {
public:
    virtual ~LiveConnection() = default;
    virtual AVFormatContext& format() = 0;
    // Called before each read of format().
    virtual void beforeRead() {}
};

// Opens a connection, or none with the reason. Runs on the reader's thread;
// its blocking calls must end when the interrupt fires.
using LiveOpener =
    std::function<std::unique_ptr<LiveConnection>(LiveInterrupt& interrupt, std::string& error)>;

// Reads one live source on a thread of its own: opens it, decodes its video
// as it arrives (LiveStreamDecoder) and converts each picture to BGRA into
// LivePictures, where every window showing the source takes the newest.
// When the source is not there, ends or goes silent, it is opened again
// after a wait that grows from firstRetry to lastRetry (and starts over
// after a connection that gave pictures); a sender that waits to be called
// is called again, one we wait for is waited for again. Nothing of this
// blocks whoever made the reader.
//
// Lines for the log (lost, back, not there yet) are queued for the
// interface thread, which takes them with takeLogLines; "lost" lines are
// rate-limited per source, and a "back" line follows only a "lost" line
// that was written.
//
// Made, polled and destroyed on any one thread; pictures, status and log
// lines may be taken from any. Destruction stops the thread and returns at
// once; the thread is joined in the background (ThreadReaper).
class LiveReader {
public:
    LiveReader(const std::string& source, const LiveOptions& options,
               const LiveReaderOptions& readerOptions = {});
    // A reader of whatever opener opens (tests and the fuzz target feed it
    // bytes this way); passive as in LiveOpenPlan.
    LiveReader(std::string name, bool passive, LiveOpener opener,
               const LiveReaderOptions& readerOptions = {});
    ~LiveReader();
    LiveReader(const LiveReader&) = delete;
    LiveReader& operator=(const LiveReader&) = delete;

    // The source as log lines and windows show it (no secrets).
    const std::string& name() const { return name_; }
    LivePictures& pictures();
    LiveStatus status() const;
    // The log lines queued since the last call, each handed out once.
    std::vector<std::string> takeLogLines();
    // Connections opened so far.
    std::uint64_t connections() const;

    // Reader threads alive in the process once those of destroyed readers
    // have been joined (it waits for that), for tests.
    static int liveReaderThreads();

    struct State;

private:
    void start(LiveOpener opener);

    std::string name_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace prismeta
