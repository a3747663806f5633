// What masks cost. A frame of 100 tiled surfaces (1920 x 1080, submission plus
// glFinish, wall time) with and without a 40-point Bézier mask on each; and
// the time from a point drag on a 1,000-point mask to its new coverage on a
// 3840 x 2160 output: the rasterising alone (Cairo fill, and with a feather
// the distance transform) of the whole image and of the rows the drag
// changes, and the whole path through the renderer's mask textures (request,
// worker thread, upload of the changed rows). Prints the GL_RENDERER.
#include "core/ProjectModel.h"
#include "masks/IncrementalCoverage.h"
#include "masks/MaskRaster.h"
#include "render/HeadlessContext.h"
#include "render/MaskTextures.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace prismeta {
namespace {

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_masks: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s (%s)\n", c.value()->rendererName().c_str(),
                    c.value()->platformName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

// A wavy closed curve of `count` Bézier points around the centre, its
// handles along the tangent.
Mask wavyMask(int count, float feather = 0.0f) {
    Mask mask;
    mask.feather = feather;
    const double step = 2 * std::numbers::pi / count;
    for (int i = 0; i < count; ++i) {
        const double a = i * step;
        const double r = 0.4 + 0.03 * std::sin(7 * a);
        const float x = static_cast<float>(0.5 + r * std::cos(a));
        const float y = static_cast<float>(0.5 + r * std::sin(a));
        const float tx = static_cast<float>(-std::sin(a) * r * step / 3);
        const float ty = static_cast<float>(std::cos(a) * r * step / 3);
        mask.points.push_back(MaskPoint{x, y, Pt{x - tx, y - ty}, Pt{x + tx, y + ty}});
    }
    return mask;
}

std::vector<Surface> tiles(int count, bool masked) {
    const int across = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float size = 1.0f / static_cast<float>(across);
    std::vector<Surface> surfaces;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(i % across) * size;
        const float y = static_cast<float>(i / across) * size;
        Surface s;
        s.corners = {{x, y},
                     {x + size, y + size * 0.05f},
                     {x + size * 0.95f, y + size},
                     {x + size * 0.02f, y + size * 0.97f}};
        if (masked) {
            s.masks = {wavyMask(40)};
        }
        surfaces.push_back(s);
    }
    return surfaces;
}

// Arg: 0 no masks, 1 a 40-point Bézier mask on each of the 100 surfaces.
void BM_HundredSurfacesFrame(benchmark::State& state) {
    context().makeCurrent();
    ProjectModel model;
    model.setSurfaces(tiles(100, state.range(0) != 0));
    OutputConfig output;
    auto renderer = Renderer::create(model, output);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    renderer->setWaitForMasks(true);
    renderer->draw(target->target(), 0.0); // media sources, buffers, coverage
    glFinish();
    double time = 0.0;
    for (auto _ : state) {
        renderer->draw(target->target(), time += 1.0 / 60);
        glFinish();
    }
}
BENCHMARK(BM_HundredSurfacesFrame)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("masked")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arg: feather in thousandths of the output (0: anti-aliased edge only).
void BM_DragToCoverageRasterise(benchmark::State& state) {
    Mask mask = wavyMask(1000, static_cast<float>(state.range(0)) / 1000.0f);
    int k = 0;
    for (auto _ : state) {
        mask.points[static_cast<std::size_t>(k++ % 1000)].x += 0.0001f;
        const CoverageImage image = rasterizeMasks(std::vector{mask}, MaskSpace{}, 3840, 2160);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_DragToCoverageRasterise)
    ->Arg(0)
    ->Arg(20)
    ->ArgName("feather")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // a whole image shares its bands with a helper thread
    ->UseRealTime();

// The same drag redrawing only the rows it changes, over the image the drag
// before it left (what the coverage worker does).
void BM_DragToCoverageIncremental(benchmark::State& state) {
    Mask mask = wavyMask(1000, static_cast<float>(state.range(0)) / 1000.0f);
    IncrementalCoverage coverage;
    coverage.update(std::vector{mask}, MaskSpace{}, 3840, 2160);
    int k = 0;
    std::int64_t rows = 0;
    for (auto _ : state) {
        mask.points[static_cast<std::size_t>(k++ % 1000)].x += 0.0001f;
        rows += coverage.update(std::vector{mask}, MaskSpace{}, 3840, 2160).height;
        benchmark::DoNotOptimize(coverage.image().pixels.data());
    }
    state.counters["rows"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DragToCoverageIncremental)
    ->Arg(0)
    ->Arg(20)
    ->ArgName("feather")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The whole path: the changed mask handed to the renderer's textures, the
// worker's image waited for and uploaded.
void BM_DragToCoverageUploaded(benchmark::State& state) {
    context().makeCurrent();
    MaskTextures textures;
    Mask mask = wavyMask(1000, static_cast<float>(state.range(0)) / 1000.0f);
    const Uuid key = Uuid::random();
    std::uint64_t frame = 0;
    textures.texture(key, std::vector{mask}, MaskSpace{}, CoverageSize{3840, 2160}, ++frame);
    textures.finish();
    glFinish();
    int k = 0;
    for (auto _ : state) {
        mask.points[static_cast<std::size_t>(k++ % 1000)].x += 0.0001f;
        textures.texture(key, std::vector{mask}, MaskSpace{}, CoverageSize{3840, 2160}, ++frame);
        textures.finish();
        glFinish();
    }
}
BENCHMARK(BM_DragToCoverageUploaded)
    ->Arg(0)
    ->Arg(20)
    ->ArgName("feather")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace prismeta
