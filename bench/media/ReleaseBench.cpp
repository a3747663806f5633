// How long letting go of media in flight takes on the interface thread: a
// still being decoded is dropped by raising its cancel flag, and a video
// player joins its decoding thread, which every read interrupts. The tests
// check that both end their work; the time it takes lives here, since it
// depends on the machine's load.
#include "BenchMedia.h"

#include "media/ImageLoad.h"
#include "media/VideoPlayer.h"

#include <benchmark/benchmark.h>

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
    for (auto _ : state) {
        state.PauseTiming();
        auto player = std::make_unique<VideoPlayer>(path, 0.0, 0.0);
        if (decoding) {
            player->waitFrameDue(0.0, std::chrono::seconds(10));
        }
        state.ResumeTiming();
        player.reset();
    }
}
BENCHMARK(ReleaseVideoPlayer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta::bench
