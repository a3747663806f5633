// bench_cluster_frame_log PORT TOPIC NODE LOG SECONDS
//
// A follower in a process of its own that draws 60 frames a second on its own
// frame grid, as an output window does: each frame it takes what arrived,
// then works out what surface 0 shows at the frame's time (through the
// leader's crossfade, as the renderers do) and logs the frame's show time
// (µs), that picture's opacity, and the number of the video picture it shows
// (-1 when it shows no video). The GO-to-the-same-frame benchmark compares
// the logs of two of these.
//
// The video picture comes the way a window gets it: the leader's video starts
// go onto this process's playback clock (FollowedVideoStarts, as the
// application's follower does), and the windows' own media backend decodes
// the picture due at the frame's host time. The benchmark's videos carry
// their picture number in their pixels (pictureNumberOf); the backend waits
// for its decoder, so a slow machine shows in the times, not in the pictures.
#include "cluster/VideoStartSync.h"
#include "cluster/ClusterFollower.h"
#include "cluster/CueTiming.h"
#include "cluster/RealTimeClock.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/FFmpegMediaBackend.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// The benchmark's videos are 16 x 16 pixels: the left half's grey level
// counts pictures modulo 16, the right half's the sixteens (levels k * 16 + 8,
// wherever the conversion to BGRA puts them, read back as the nearest).
int greyLevel(int value) {
    int best = 0;
    for (int k = 1; k < 16; ++k) {
        const auto distance = [value](int level) {
            // Both ways the converter may read the grey: full range or video range.
            const int full = level * 16 + 8;
            const int video = ((full - 16) * 255 + 109) / 219;
            return std::min(std::abs(value - full), std::abs(value - video));
        };
        if (distance(k) < distance(best)) {
            best = k;
        }
    }
    return best;
}

int pictureNumberOf(const prismeta::MediaFrame& frame) {
    if (frame.format != prismeta::MediaPixelFormat::bgra8 &&
        frame.format != prismeta::MediaPixelFormat::rgba8) {
        return -2;
    }
    const std::uint8_t* row =
        frame.pixels + frame.strideBytes * static_cast<std::size_t>(frame.height / 2);
    const int low = greyLevel(row[4 * (frame.width / 8)]);
    const int high = greyLevel(row[4 * (frame.width * 7 / 8)]);
    return high * 16 + low;
}

} // namespace

int main(int argc, char** argv) {
    using namespace prismeta;
    using Clock = std::chrono::steady_clock;
    if (argc != 6) {
        std::fputs("usage: bench_cluster_frame_log PORT TOPIC NODE LOG SECONDS\n", stderr);
        return 2;
    }
    const ScopedLogSink quiet([](std::string_view) {});
    ClusterFollower::Options options;
    options.mqtt.broker =
        BrokerAddress{"127.0.0.1", static_cast<std::uint16_t>(std::atoi(argv[1]))};
    options.node = argv[3];
    SystemRealTimeClock clock;
    ProjectModel model;
    ClusterFollower follower(model, clock, ClusterTopics::make(argv[2]).value(), options);
    if (!follower.start()) {
        return 1;
    }
    LiveMediaOptions live;
    live.waitForDecoders = true;
    live.patience = std::chrono::milliseconds(500);
    const MediaBackend media = liveMediaBackend(live);
    FollowedVideoStarts videoStarts;
    std::unique_ptr<VideoFeed> feed;
    std::string feedSignature;
    int feedPicture = -1;

    struct Frame {
        std::int64_t showMicros;
        double opacity;
        int picture;
    };
    std::vector<Frame> frames;
    frames.reserve(60 * 120);
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(std::atof(argv[5]));
    const auto period = std::chrono::nanoseconds(16'666'667);
    for (auto next = start; next < end; next += period) {
        std::this_thread::sleep_until(next);
        // The frame's time on both clocks, as a window's frame is drawn for.
        const ClockReading frameTime = readClocks(clock);
        const double t = frameTime.steadySeconds;
        follower.update(Clock::now());
        videoStarts.apply(follower.showState(), readClocks(clock));
        if (model.surfaces().empty()) {
            continue;
        }
        const Surface& surface = model.surfaces()[0];
        const auto& fade = follower.cues().crossfade();
        const Surface drawn = fade ? fade->onScreen(surface, t) : surface;
        int picture = -1;
        if (drawn.mediaKind == MediaKind::video && drawn.mediaPath) {
            // One source for the surface's video, kept (as the renderer keeps
            // the next cue's media open) and made anew when the video changes.
            const std::string signature = mediaSignature(drawn);
            if (!feed || signature != feedSignature) {
                MediaRequest request;
                request.path = *drawn.mediaPath;
                request.surface = drawn.id;
                request.signature = signature;
                request.hostTimeSeconds = t;
                feed = media.openVideo(request);
                feedSignature = signature;
                feedPicture = -1;
            }
            if (feed) {
                if (const auto picked = feed->newFrame(t)) {
                    feedPicture = pictureNumberOf(*picked);
                }
                feed->releaseFrame();
            }
            picture = feedPicture;
        }
        frames.push_back({frameTime.showMicros, drawn.opacity, picture});
    }
    std::FILE* log = std::fopen(argv[4], "w");
    if (log == nullptr) {
        return 1;
    }
    for (const Frame& frame : frames) {
        std::fprintf(log, "%lld %.6f %d\n", static_cast<long long>(frame.showMicros), frame.opacity,
                     frame.picture);
    }
    std::fclose(log);
    return 0;
}
