#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace prismeta {

// A live surface's source, as its media path names it: a capture device
// (an absolute path under /dev, V4L2), a network URL, or an SDP file
// describing an RTP stream.
enum class LiveSourceType {
    captureDevice, // "/dev/video0", "/dev/v4l/by-id/..."
    srt,           // "srt://host:port" (caller) or "...?mode=listener"
    udp,           // "udp://@:5000", multicast included
    rtp,           // "rtp://host:port" (a bare RTP stream without its SDP)
    rtsp,          // "rtsp://host/path"
    http,          // "http://" or "https://" (HLS playlists)
    sdpFile,       // an absolute path ending in ".sdp"
    unknown,
};

// What a media path names as a live source; unknown for anything else (a
// relative path, a file of another kind, a scheme we do not open).
LiveSourceType liveSourceType(std::string_view source);

// Whether the source is a network URL (srt, udp, rtp, rtsp, http, https).
bool isLiveUrl(std::string_view source);

// The source as it may appear in a log line or a window: a URL's user name,
// password and secret query values (passphrase, key) are replaced by "***".
std::string displayedLiveSource(std::string_view source);

// What a live surface passes to its device or protocol; every member is
// optional and the file holds only those set (the surface key "liveOptions").
// size, fps and format apply to capture devices (the device's picture size,
// frame rate and pixel or compressed format, "mjpeg", "yuyv422"); latency
// is SRT's latency and the jitter buffer of RTP and RTSP, in milliseconds.
struct LiveOptions {
    std::optional<int> width; // with height: "size": "WxH"
    std::optional<int> height;
    std::optional<double> fps;
    std::optional<std::string> format;
    std::optional<int> latencyMs;

    bool empty() const { return !(width && height) && !fps && !format && !latencyMs; }
    friend bool operator==(const LiveOptions&, const LiveOptions&) = default;
};

// The ranges a file's values must be in to count; a value outside leaves
// its option unset.
inline constexpr int maxLiveSide = 16384;
inline constexpr double maxLiveFps = 1000.0;
inline constexpr int maxLiveLatencyMs = 60'000;
inline constexpr std::size_t maxLiveFormatLength = 32;

// "1920x1080" to a size; none unless both sides are whole numbers from 1 to
// maxLiveSide written in plain digits.
std::optional<std::pair<int, int>> parseLiveSize(std::string_view text);
std::string liveSizeText(int width, int height);
// A pixel or codec format name: letters, digits and "_", up to
// maxLiveFormatLength.
bool validLiveFormat(std::string_view text);

// A compact, stable text of the options set ("size=640x480 fps=30"), empty
// when none is: it tells two sources apart (the same URL with other options
// is another source).
std::string liveOptionsText(const LiveOptions& options);

// How a live source is doing, as its reader last saw it.
struct LiveStatus {
    enum class State {
        waiting,   // not there yet: no picture since it was opened
        connected, // pictures arriving
        lost,      // there were pictures, and none come now
    };
    State state = State::waiting;
    double fps = 0.0; // pictures decoded a second, over the last second or so
    // Pictures that never arrived whole or could not be decoded: lost on the
    // network or in the decoder.
    std::uint64_t lost = 0;
    // Pictures decoded and replaced by a newer one before a window could
    // show them: the display (or its machine) was slower than the source.
    std::uint64_t notShown = 0;
    // Seconds since the newest picture came; none before the first. Tells a
    // lost source whose last picture is still held from one past the hold.
    std::optional<double> pictureAge;
    // The source listens on a port another program holds: it was refused the
    // last time it was opened.
    bool portTaken = false;
};

// "waiting", "connected", "lost".
std::string_view liveStateText(LiveStatus::State state);

} // namespace prismeta
