#pragma once

#include "core/LiveSource.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct AVFormatContext;

namespace prismeta {

class TsPacketInput;

// How one live source is opened through libavformat: the URL handed to it,
// the input format to force, and the options for the demuxer, the protocol
// or the device. Made without touching the source, so option handling is
// testable without a device or a network.
struct LiveOpenPlan {
    std::string url;
    // "video4linux2" or "sdp"; empty lets FFmpeg choose by the URL.
    std::string inputFormat;
    std::vector<std::pair<std::string, std::string>> options;
    // A source that waits for its sender (UDP, RTP, an SRT listener): its
    // opening never times out, it just waits. Others (a device, an SRT
    // caller, RTSP, HTTP) are called and retried.
    bool passive = false;
    // A packet protocol that usually carries MPEG-TS (UDP, SRT): read
    // through TsPacketInput, so a picture leaves the demuxer with its last
    // packet.
    bool packetInput = false;
    // Why the source cannot be opened at all; empty when it can.
    std::string refusal;

    // The value of an option, empty when it is not set.
    std::string_view option(std::string_view key) const;
};

LiveOpenPlan planLiveOpen(std::string_view source, const LiveOptions& options);

// Lets libavformat's blocking calls on one live input end: when stop is
// raised (from any thread), or at the deadline, which the input's own thread
// moves before each call that may wait.
class LiveInterrupt {
public:
    using Clock = std::chrono::steady_clock;
    explicit LiveInterrupt(const std::atomic<bool>* stop) : stop_(stop) {}

    void setDeadline(Clock::time_point deadline) {
        deadline_.store(deadline.time_since_epoch().count(), std::memory_order_relaxed);
    }
    void clearDeadline() { deadline_.store(noDeadline, std::memory_order_relaxed); }
    bool stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }
    bool timedOut() const;

    // For AVFormatContext::interrupt_callback.
    static int callback(void* self);

private:
    static constexpr Clock::rep noDeadline = INT64_MAX;
    const std::atomic<bool>* stop_;
    std::atomic<Clock::rep> deadline_{noDeadline};
};

// For an MPEG-TS input whose pictures leave the demuxer whole (TsPacketInput):
// no parser holds each picture back until the next one begins. The decoder
// takes packets that are parts of a picture as well (LiveStreamDecoder), so a
// sender that splits a picture over several PES packets still shows. False,
// and nothing changed, for any other container.
bool wholeTransportStreamPictures(AVFormatContext& format);

// An opened live input: the demuxer and, for a packet protocol, the input
// it reads through.
class LiveInput {
public:
    LiveInput(AVFormatContext* format, std::unique_ptr<TsPacketInput> packets);
    ~LiveInput();
    LiveInput(const LiveInput&) = delete;
    LiveInput& operator=(const LiveInput&) = delete;

    AVFormatContext& format() { return *format_; }
    // Before each av_read_frame.
    void beforeRead();

private:
    AVFormatContext* format_;
    std::unique_ptr<TsPacketInput> packets_;
};

// Why opening failed, as the log says it: FFmpeg's words for the error, or,
// for a source that listens on a port another program holds without
// sharing it (the system refused to bind it), livePortTaken.
inline constexpr std::string_view livePortTaken =
    "its port is taken by another program (binding it failed: Address already in use)";
std::string liveOpenError(int averror);

// Opens the plan's input with the interrupt installed. Null on failure, with
// the reason in FFmpeg's words in error (when given). Blocks until the
// source answers, the interrupt fires or the protocol gives up.
std::unique_ptr<LiveInput> openLiveInput(const LiveOpenPlan& plan, LiveInterrupt& interrupt,
                                         std::string* error = nullptr);

} // namespace prismeta
