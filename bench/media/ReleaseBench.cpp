// How long letting go of media in flight takes on the interface thread: a
// still being decoded is dropped by raising its cancel flag, and a video
// player tells its decoding thread to stop and hands it to the thread
// reaper, which joins it in the background (the `joined_ms` counter: how
// long that took after the release returned). The tests
// check that both end their work; the time it takes lives here, since it
// depends on the machine's load.
#include "BenchMedia.h"

#include "media/ImageLoad.h"
#include "media/VideoPlayer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

namespace prismeta::bench {
namespace {

// Sixteen 4K still loads made and dropped at once, most of them queued behind
// the loader threads and two of them decoding.
void DropStillLoadsInFlight(benchmark::State& state) {
    const std::string path = denseStill("png", "png");
    for (auto _ : state) {
        std::vector<std::unique_ptr<ImageLoad>> loads;
        for (int i = 0; i < 16; ++i) {
            loads.push_back(std::make_unique<ImageLoad>(path));
        }
        loads.clear();
    }
    ImageLoad last(path); // lets the cancelled loads drain before the next run
    last.wait();
}
BENCHMARK(DropStillLoadsInFlight)->Unit(benchmark::kMicrosecond);

// A 1080p video player released while it opens its file (arg 0) or once it
// is decoding (arg 1).
void ReleaseVideoPlayer(benchmark::State& state) {
    const std::string path = denseVideo(1080);
    const bool decoding = state.range(0) != 0;
    double joinedSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto player = std::make_unique<VideoPlayer>(path, 0.0, 0.0);
        if (decoding) {
            player->waitFrameDue(0.0, std::chrono::seconds(10));
        }
        state.ResumeTiming();
        const auto released = std::chrono::steady_clock::now();
        player.reset();
        state.PauseTiming();
        VideoPlayer::liveDecoderThreads(); // waits for the background join
        joinedSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - released).count();
        state.ResumeTiming();
    }
    state.counters["joined_ms"] =
        benchmark::Counter(joinedSeconds * 1000.0 / static_cast<double>(state.iterations()));
}
// A fixed count: the release itself is too quick for the timed part to
// decide how many runs (each also opens and joins a player, untimed).
BENCHMARK(ReleaseVideoPlayer)->Arg(0)->Arg(1)->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta::bench
