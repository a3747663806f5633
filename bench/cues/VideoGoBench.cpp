// Videos at a GO: what the GO itself costs on the interface thread when it
// starts 100 videos among 1,000 surfaces, and how long it takes from the GO
// to the first frame that shows the new video's first picture, with the video
// opened ahead (the next cue's preload) and without. A dense 720p H.264 clip
// (bench/media's), drawn headless into 640 x 360 by a renderer that never
// waits for its decoders, as in a window: frames are drawn back to back until
// one shows the picture.
#include "BenchMedia.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "media/PlaybackClock.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"
#include "render/ShowVideos.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace prismeta {
namespace {

double hostNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

HeadlessContext& videoContext() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_cues: %s\n", c.error().c_str());
            std::exit(1);
        }
        return std::move(c.value());
    }();
    return *made;
}

// GO on a cue that switches 100 of 1,000 colour surfaces to videos (each its
// own playback) and starts them on the playback clock; back to the first cue
// between iterations, untimed.
void goStartingVideos(benchmark::State& state) {
    const std::string video = bench::denseVideo(720);
    std::vector<Surface> surfaces(1000);
    for (Surface& s : surfaces) {
        s.mediaKind = MediaKind::color;
    }
    Cue plain;
    plain.name = "Plain";
    Cue videos;
    videos.name = "Videos";
    for (int i = 0; i < 100; ++i) {
        CueLook look;
        look.surface = surfaces[static_cast<std::size_t>(i) * 10].id;
        look.mediaKind = MediaKind::video;
        look.mediaPath = video;
        videos.looks.push_back(look);
        CueLook back = look;
        back.mediaKind = MediaKind::color;
        plain.looks.push_back(back);
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    model.setCues({plain, videos});
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner(model, clock, wall);
    runner.setVideos(std::make_shared<ShowVideos>());
    for (auto _ : state) {
        state.PauseTiming();
        clock.seconds += 1.0;
        runner.goTo(0);
        clock.seconds += 1.0;
        state.ResumeTiming();
        runner.go();
    }
}
BENCHMARK(goStartingVideos)->Unit(benchmark::kMicrosecond);

// Whether the frame's centre shows a picture rather than the placeholder.
bool showsPicture() {
    std::uint8_t pixel[4] = {};
    glReadPixels(320, 180, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return !(pixel[0] == 38 && pixel[1] == 38 && pixel[2] == 43);
}

void goToFirstPicture(benchmark::State& state) {
    const bool ahead = state.range(0) != 0;
    const std::string video = bench::denseVideo(720);
    videoContext().makeCurrent();
    ProjectModel model;
    Surface surface;
    surface.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    surface.mediaKind = MediaKind::color;
    model.setSurfaces({surface});
    auto renderer = Renderer::create(model, std::nullopt, liveMediaBackend());
    auto target = OffscreenFramebuffer::create(640, 360);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    double frames = 0;
    for (auto _ : state) {
        // A new surface each time: a playback and sources of its own.
        Surface next(Uuid::random());
        next.corners = surface.corners;
        next.mediaKind = MediaKind::video;
        next.mediaPath = video;
        model.setSurfaces({surface});
        renderer->setPreload(ahead ? std::make_shared<const std::vector<Surface>>(1, next)
                                   : nullptr);
        renderer->draw(target->target(), hostNow());
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the cue runs a while
        renderer->draw(target->target(), hostNow());

        const auto go = std::chrono::steady_clock::now();
        const double goTime = hostNow();
        model.setSurfaces({next});
        PlaybackClock::startAt(next.id, mediaSignature(next), goTime);
        int drawn = 0;
        do {
            renderer->draw(target->target(), hostNow());
            ++drawn;
        } while (!showsPicture() && drawn < 10000);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - go).count());
        frames += drawn;
    }
    state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
}
BENCHMARK(goToFirstPicture)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("preloaded")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
