// bench_cluster_frame_log PORT TOPIC NODE LOG SECONDS
//
// A follower in a process of its own that draws 60 frames a second on its own
// frame grid, as an output window does: each frame it takes what arrived,
// then works out what surface 0 shows at the frame's time (through the
// leader's crossfade, as the renderers do) and logs the frame's show time
// (µs) and that picture (its opacity). The GO-to-the-same-frame benchmark
// compares the logs of two of these.
#include "cluster/ClusterFollower.h"
#include "cluster/RealTimeClock.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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
    struct Frame {
        std::int64_t showMicros;
        double picture;
    };
    std::vector<Frame> frames;
    frames.reserve(60 * 120);
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(std::atof(argv[5]));
    const auto period = std::chrono::nanoseconds(16'666'667);
    for (auto next = start; next < end; next += period) {
        std::this_thread::sleep_until(next);
        const auto now = Clock::now();
        follower.update(now);
        if (model.surfaces().empty()) {
            continue;
        }
        const double t = std::chrono::duration<double>(now.time_since_epoch()).count();
        const Surface& drawn = model.surfaces()[0];
        const auto& fade = follower.cues().crossfade();
        const double picture = fade ? fade->onScreen(drawn, t).opacity : drawn.opacity;
        frames.push_back({clock.nowMicros(), picture});
    }
    std::FILE* log = std::fopen(argv[4], "w");
    if (log == nullptr) {
        return 1;
    }
    for (const Frame& frame : frames) {
        std::fprintf(log, "%lld %.6f\n", static_cast<long long>(frame.showMicros), frame.picture);
    }
    std::fclose(log);
    return 0;
}
