// Media benchmarks. Each compares the library's whole path with plain FFmpeg
// decoding of the same file in the same run, interleaved, so that load from
// other processes on the machine hits both alike.

#include "BenchMedia.h"

#include "media/HostClock.h"
#include "media/ImageLoad.h"
#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using bench::plainDecode;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The library's path: a player taking every picture in turn, as a renderer
// that never falls behind would (conversion to BGRA included; the upload
// comes with the renderer).
int playerPath(const std::string& path, int pictures) {
    VideoPlayer player(path, 0.0, 0.0);
    int taken = 0;
    for (int i = 0; i < pictures; ++i) {
        const VideoFrameLease lease =
            player.waitFrameDue((i + 0.5) / 30.0, std::chrono::seconds(30));
        if (!lease) {
            break;
        }
        benchmark::DoNotOptimize(lease->pixels[0]);
        ++taken;
    }
    return taken;
}

void VideoPathVsPlainDecode(benchmark::State& state) {
    const std::string path = bench::denseVideo(static_cast<int>(state.range(0)));
    double plainSeconds = 0.0;
    double pathSeconds = 0.0;
    int plainPictures = 0;
    int pathPictures = 0;
    for (auto _ : state) {
        auto started = Clock::now();
        const int decoded = plainDecode(path, 0, false);
        plainSeconds += secondsSince(started);
        plainPictures += decoded;

        started = Clock::now();
        pathPictures += playerPath(path, decoded);
        const double elapsed = secondsSince(started);
        pathSeconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const double plainRate = plainPictures / plainSeconds;
    const double pathRate = pathPictures / pathSeconds;
    state.counters["plain_fps"] = plainRate;
    state.counters["path_fps"] = pathRate;
    state.counters["ratio"] = pathRate / plainRate;
}
BENCHMARK(VideoPathVsPlainDecode)
    ->Arg(1080)
    ->Arg(720)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Several players of one renderer at real time: a 60 Hz loop polls each with
// the host clock, as the render loop will. A picture counts as dropped when a
// later one was already due at the poll that would have shown it. The first
// second (opening the files, first pictures) is not counted.
void SimultaneousPlayback(benchmark::State& state) {
    const int players = static_cast<int>(state.range(0));
    const std::string path = bench::denseVideo(static_cast<int>(state.range(1)));
    constexpr double warmUp = 1.0;
    constexpr double duration = 6.0;
    long long dropped = 0;
    long long worst = 0;
    for (auto _ : state) {
        const double start = hostSeconds();
        std::vector<std::unique_ptr<VideoPlayer>> videos;
        for (int i = 0; i < players; ++i) {
            videos.push_back(std::make_unique<VideoPlayer>(path, start, start));
        }
        std::vector<long long> shown(static_cast<std::size_t>(players), 0);
        double lastPoll = 0.0;
        auto tick = Clock::now();
        for (;;) {
            const double now = hostSeconds();
            if (now - start >= duration) {
                break;
            }
            for (int i = 0; i < players; ++i) {
                const VideoFrameLease lease = videos[static_cast<std::size_t>(i)]->frameDue(now);
                if (lease && lease->time >= warmUp) {
                    ++shown[static_cast<std::size_t>(i)];
                }
            }
            lastPoll = now - start;
            tick += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(tick);
        }
        // Pictures due from the end of the warm-up to the last poll.
        const long long due =
            static_cast<long long>(lastPoll * 30.0) - static_cast<long long>(warmUp * 30.0) + 1;
        for (const long long count : shown) {
            dropped += std::max(0LL, due - count);
            worst = std::max(worst, due - count);
        }
    }
    state.counters["videos"] = players;
    state.counters["dropped_total"] = static_cast<double>(dropped);
    state.counters["dropped_worst_video"] = static_cast<double>(worst);
}
BENCHMARK(SimultaneousPlayback)
    ->ArgsProduct({{1, 2, 3, 4}, {1080}})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6}, {720}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// A window joining a running playback in its second loop, and a render at
// that time: from nothing to the picture due 7.5 s in (the loop is 5 s, key
// frames every 2 s), the loop length measured and the seek checked on the way;
// against a plain seek and decode to the same picture, and a player from the
// start to its first picture. Transport streams seek by decode time, so
// their seeks are checked and redone more often.
void LateJoinVsPlainSeek(benchmark::State& state, const char* extension) {
    const std::string path = bench::denseVideo(1080, extension);
    constexpr double joinAt = 7.5;
    double plainSeconds = 0.0;
    double joinSeconds = 0.0;
    double frameAtSeconds = 0.0;
    double startSeconds = 0.0;
    for (auto _ : state) {
        auto started = Clock::now();
        benchmark::DoNotOptimize(bench::plainSeekDecode(path, joinAt - 5.0));
        plainSeconds += secondsSince(started);

        started = Clock::now();
        {
            VideoPlayer player(path, 0.0, joinAt);
            const VideoFrameLease lease = player.waitFrameDue(joinAt, std::chrono::seconds(30));
            benchmark::DoNotOptimize(lease ? lease->pixels[0] : 0);
            const double elapsed = secondsSince(started);
            joinSeconds += elapsed;
            state.SetIterationTime(elapsed);
        }

        started = Clock::now();
        benchmark::DoNotOptimize(decodeVideoFrameAt(path, joinAt).has_value());
        frameAtSeconds += secondsSince(started);

        started = Clock::now();
        {
            VideoPlayer player(path, 0.0, 0.0);
            const VideoFrameLease lease = player.waitFrameDue(0.0, std::chrono::seconds(30));
            benchmark::DoNotOptimize(lease ? lease->pixels[0] : 0);
            startSeconds += secondsSince(started);
        }
    }
    const auto ms = [&](double seconds) {
        return 1000.0 * seconds / static_cast<double>(state.iterations());
    };
    state.counters["plain_seek_ms"] = ms(plainSeconds);
    state.counters["join_ms"] = ms(joinSeconds);
    state.counters["frame_at_ms"] = ms(frameAtSeconds);
    state.counters["start_ms"] = ms(startSeconds);
}
BENCHMARK_CAPTURE(LateJoinVsPlainSeek, mp4, "mp4")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LateJoinVsPlainSeek, ts, "ts")
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A 4K still: plain decoding on the calling thread against the whole load
// (queued to the loader threads, decoded, converted to RGBA, handed over).
void StillLoadVsPlainDecode(benchmark::State& state, const char* encoder, const char* extension) {
    const std::string path = bench::denseStill(encoder, extension);
    double plainSeconds = 0.0;
    double loadSeconds = 0.0;
    for (auto _ : state) {
        auto started = Clock::now();
        benchmark::DoNotOptimize(plainDecode(path, 1, true));
        plainSeconds += secondsSince(started);

        started = Clock::now();
        ImageLoad load(path);
        load.wait();
        const auto image = load.takeImage();
        const double elapsed = secondsSince(started);
        if (!image) {
            state.SkipWithError("the still did not load");
            return;
        }
        loadSeconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = 1000.0 * plainSeconds / iterations;
    state.counters["load_ms"] = 1000.0 * loadSeconds / iterations;
    state.counters["ratio"] = plainSeconds / loadSeconds;
}
BENCHMARK_CAPTURE(StillLoadVsPlainDecode, png_4k, "png", "png")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StillLoadVsPlainDecode, jpeg_4k, "mjpeg", "jpg")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
