// What a GO costs on the interface thread (the looks applied, the undo step
// and the crossfade made) for 1,000 surfaces, and what one frame costs during
// the fade of 100 surfaces against the same frame with no fade (headless at
// 1920 x 1080, submission plus glFinish, colour surfaces tiling the canvas).
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace prismeta {
namespace {

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_cues: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s\n", c.value()->rendererName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

std::vector<Surface> tiles(int count) {
    const int across = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float size = 1.0f / static_cast<float>(across);
    std::vector<Surface> surfaces;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(i % across) * size;
        const float y = static_cast<float>(i / across) * size;
        Surface s;
        s.name = "Tile " + std::to_string(i);
        s.mediaKind = MediaKind::color;
        s.color = {1, 0, 0, 1};
        s.corners = {{x, y}, {x + size, y}, {x + size, y + size}, {x, y + size}};
        surfaces.push_back(s);
    }
    return surfaces;
}

// Two cues that change every surface's colour and opacity.
std::vector<Cue> twoCues(const std::vector<Surface>& surfaces) {
    std::vector<Cue> cues(2);
    for (std::size_t c = 0; c < cues.size(); ++c) {
        cues[c].name = "Cue " + std::to_string(c + 1);
        cues[c].fade = 3.0;
        for (const Surface& s : surfaces) {
            CueLook look;
            look.surface = s.id;
            look.color = c == 0 ? RGBA{0, 0, 1, 1} : RGBA{0, 1, 0, 1};
            look.opacity = c == 0 ? 0.5 : 1.0;
            cues[c].looks.push_back(look);
        }
    }
    return cues;
}

void goWithSurfaces(benchmark::State& state) {
    ProjectModel model;
    model.setSurfaces(tiles(static_cast<int>(state.range(0))));
    model.setCues(twoCues(model.surfaces().vector()));
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner(model, clock, wall);
    for (auto _ : state) {
        clock.seconds += 1.0;
        if (!runner.go()) {
            runner.goTo(0);
        }
    }
}
BENCHMARK(goWithSurfaces)->Arg(1000)->Unit(benchmark::kMicrosecond);

void frameDuringFade(benchmark::State& state) {
    context().makeCurrent();
    const bool fading = state.range(1) != 0;
    ProjectModel model;
    const std::vector<Surface> before = tiles(static_cast<int>(state.range(0)));
    std::vector<Surface> after = before;
    for (Surface& s : after) {
        s.color = {0, 0, 1, 1};
        s.opacity = 0.5;
    }
    model.setSurfaces(after);
    auto renderer = Renderer::create(model, std::nullopt);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    if (fading) {
        renderer->setCrossfade(Crossfade::start(nullptr, before, after, 0.0, 1e9));
    }
    double t = 1.0;
    for (auto _ : state) {
        renderer->draw(target->target(), t);
        glFinish();
        t += 1.0 / 60;
    }
}
BENCHMARK(frameDuringFade)
    ->ArgsProduct({{100}, {0, 1}})
    ->ArgNames({"surfaces", "fading"})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
