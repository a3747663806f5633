// CPU cost of one frame, headless at 1920 x 1080: submission alone (the GPU
// work is waited for outside the timing), submission plus glFinish, and the
// renderer's own work without any surface draw call (an output whose crop is
// empty still records, tessellates and uploads the whole frame). On llvmpipe
// the draw calls run the vertex stage on the calling thread, which the third
// figure leaves out. Surfaces tile the canvas and show the test pattern;
// plain quads or 6 x 6 meshes. Prints the GL_RENDERER the numbers belong to.
// Then an output's blend overlay: linear, with curve, gamma and lift, and in
// blend test. Last, one frame of the editor and one of the first output for each hostile
// project file that loads (the tests check that the work is bounded; the time
// lives here).
#include "HostileProjects.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace prismeta {
namespace {

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_render: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s (%s)\n", c.value()->rendererName().c_str(),
                    c.value()->platformName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

std::vector<Surface> tiles(int count, bool meshed) {
    const int across = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    const float size = 1.0f / static_cast<float>(across);
    std::vector<Surface> surfaces;
    for (int i = 0; i < count; ++i) {
        const float x = static_cast<float>(i % across) * size;
        const float y = static_cast<float>(i / across) * size;
        Surface s;
        // A slight keystone so the weights are not all 2.
        s.corners = {{x, y},
                     {x + size, y + size * 0.05f},
                     {x + size * 0.95f, y + size},
                     {x + size * 0.02f, y + size * 0.97f}};
        if (meshed) {
            s.mesh = WarpMesh::from(s.corners, 6, 6);
        }
        surfaces.push_back(s);
    }
    return surfaces;
}

enum class Mode { submit, submitAndFinish, withoutDraws };

void frame(benchmark::State& state, Mode mode) {
    context().makeCurrent();
    ProjectModel model;
    model.setSurfaces(tiles(static_cast<int>(state.range(0)), state.range(1) != 0));
    OutputConfig output;
    output.blendRight = 0.1f;
    if (mode == Mode::withoutDraws) {
        output.cropWidth = 0.0f;
    }
    auto renderer = Renderer::create(model, output);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    renderer->draw(target->target(), 0.0); // warm-up: media sources, buffers
    glFinish();
    double time = 0.0;
    for (auto _ : state) {
        renderer->draw(target->target(), time += 1.0 / 60);
        if (mode == Mode::submitAndFinish) {
            glFinish();
        } else {
            state.PauseTiming();
            glFinish();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0)); // surfaces
}

void BM_FrameSubmit(benchmark::State& state) {
    frame(state, Mode::submit);
}
void BM_FrameSubmitAndFinish(benchmark::State& state) {
    frame(state, Mode::submitAndFinish);
}
void BM_FrameWithoutDraws(benchmark::State& state) {
    frame(state, Mode::withoutDraws);
}

// Args: surfaces, meshed (6 x 6).
BENCHMARK(BM_FrameSubmit)
    ->ArgsProduct({{10, 100, 1000}, {0, 1}})
    ->ArgNames({"surfaces", "mesh6x6"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameSubmitAndFinish)
    ->ArgsProduct({{10, 100, 1000}, {0, 1}})
    ->ArgNames({"surfaces", "mesh6x6"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameWithoutDraws)
    ->ArgsProduct({{10, 100, 1000}, {0, 1}})
    ->ArgNames({"surfaces", "mesh6x6"})
    ->Unit(benchmark::kMicrosecond);

// The blend overlay of an output at 1920 x 1080 with ramps on all four edges
// (a fifth of the picture each), 10 plain surfaces beneath: 0 the linear
// ramps, 1 with curve 1.5, gamma 2.2 and a black-level lift, 2 the same in
// blend test. Submission plus glFinish, in wall time: the overlay's cost is
// fragment work.
void BM_OutputBlend(benchmark::State& state) {
    context().makeCurrent();
    ProjectModel model;
    model.setSurfaces(tiles(10, false));
    OutputConfig output;
    output.blendLeft = output.blendRight = output.blendTop = output.blendBottom = 0.2f;
    if (state.range(0) >= 1) {
        output.blendCurve = 1.5f;
        output.blendGamma = 2.2f;
        output.blackLevel = {0.02f, 0.02f, 0.03f};
    }
    model.setOutputs({output});
    model.setBlendTest(output.id, state.range(0) == 2);
    auto renderer = Renderer::create(model, output);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    renderer->draw(target->target(), 0.0);
    glFinish();
    double time = 0.0;
    for (auto _ : state) {
        renderer->draw(target->target(), time += 1.0 / 60);
        glFinish();
    }
}
BENCHMARK(BM_OutputBlend)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("curve")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void HostileProjectFrame(benchmark::State& state, const testing::HostileProject* project) {
    context().makeCurrent();
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "prismeta-bench-hostile.prismeta.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << project->bytes;
    ProjectModel model;
    ScopedLogSink quiet([](std::string_view) {});
    const bool loaded = static_cast<bool>(model.load(path));
    std::filesystem::remove(path);
    if (!loaded) {
        state.SkipWithError("refused by the reader");
        return;
    }
    auto editor = Renderer::create(model, std::nullopt);
    auto output =
        Renderer::create(model, model.outputs().empty() ? OutputConfig{} : model.outputs().front());
    auto target = OffscreenFramebuffer::create(640, 360);
    if (!editor || !output || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    for (auto _ : state) {
        editor->draw(target->target(), 0.0);
        output->draw(target->target(), 0.0);
        glFinish();
    }
    state.counters["vertices"] = static_cast<double>(editor->frameVertexCount());
}

const bool hostileRegistered = [] {
    static const std::vector<testing::HostileProject> projects = testing::hostileProjects();
    for (const auto& project : projects) {
        if (project.mustLoad) {
            benchmark::RegisterBenchmark(("HostileProjectFrame/" + project.name).c_str(),
                                         HostileProjectFrame, &project)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace
} // namespace prismeta
