// One frame of a 1080p output, headless, submission and glFinish timed
// together (on llvmpipe the GPU work is the processor's): the output as it
// was against the same output with a 16 x 9 mesh warp (of cells, or
// smooth), with a 16-bit blend map, and with both. The time is the processor time of the whole
// process (every llvmpipe thread included) from the frame's start to glFinish: on a shared machine
// the wall time mostly measures the other processes. The canvas holds 10 test-pattern surfaces and
// the output a right ramp, as a projector of a two-projector wall would. Prints the GL_RENDERER the
// numbers belong to.
#include "MediaFixtures.h"

#include "core/ProjectModel.h"
#include "geometry/Tessellation.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace prismeta {
namespace {

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_output_warp: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s (%s)\n", c.value()->rendererName().c_str(),
                    c.value()->platformName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

const std::string& blendMapFile() {
    static const std::string path = [] {
        const std::string file = fixtures::makeTempDir("bench-blend-map") + "/map.png";
        // A left-to-right fade over the last third, as a blend map of a wall's
        // left projector looks.
        fixtures::writeGreyPng(file, 1920, 1080, [](int x, int) {
            const double d = std::clamp((1920.0 - x) / 640.0, 0.0, 1.0);
            return static_cast<std::uint16_t>(std::lround(d * 65535.0));
        });
        return file;
    }();
    return path;
}

OutputConfig outputWith(bool warped, bool mapped, bool smooth = false) {
    OutputConfig output;
    output.blendRight = 0.3f;
    output.blendGamma = 2.2f;
    if (warped) {
        OutputWarp warp;
        warp.corners = {Pt{0.03f, 0.02f}, Pt{0.98f, 0.05f}, Pt{0.95f, 0.99f}, Pt{0.01f, 0.93f}};
        warp.mesh =
            WarpMesh::from(std::vector<Pt>(warp.corners.begin(), warp.corners.end()), 16, 9);
        warp.mesh->points[50].x += 0.004f; // a lens's small bend
        if (smooth) {
            warp.mesh->interpolation = WarpMesh::Interpolation::smooth;
        }
        output.warp = warp;
    }
    if (mapped) {
        output.blendMap = blendMapFile();
    }
    return output;
}

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Frames of the plain output and of the output with the warp (arg bit 1)
// and the map (bit 2) alternate, each timed on its own, so both see the
// same machine; the iteration's time is the second frame's.
void BM_OutputFrame(benchmark::State& state) {
    context().makeCurrent();
    ProjectModel model;
    std::vector<Surface> surfaces;
    for (int i = 0; i < 10; ++i) {
        const float x = static_cast<float>(i % 5) * 0.2f;
        const float y = static_cast<float>(i / 5) * 0.5f;
        Surface s;
        s.corners = {{x, y}, {x + 0.2f, y + 0.01f}, {x + 0.19f, y + 0.5f}, {x + 0.01f, y + 0.49f}};
        surfaces.push_back(s);
    }
    model.setSurfaces(std::move(surfaces));
    auto plain = Renderer::create(model, outputWith(false, false));
    const OutputConfig second =
        outputWith((state.range(0) & 1) != 0, (state.range(0) & 2) != 0, (state.range(0) & 4) != 0);
    auto with = Renderer::create(model, second);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!plain || !with || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    with->setWaitForMasks(true);
    for (Renderer* renderer : {plain.get(), with.get()}) {
        renderer->draw(target->target(), 0.0); // warm-up: sources, the map's decode
    }
    glFinish();
    double time = 0.0;
    double plainSeconds = 0.0;
    double withSeconds = 0.0;
    for (auto _ : state) {
        time += 1.0 / 60;
        const double start = processSeconds();
        plain->draw(target->target(), time);
        glFinish();
        const double middle = processSeconds();
        with->draw(target->target(), time);
        glFinish();
        const double end = processSeconds();
        plainSeconds += middle - start;
        withSeconds += end - middle;
        state.SetIterationTime(end - middle);
    }
    const double frames = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plainSeconds / frames * 1e3;
    state.counters["with_ms"] = withSeconds / frames * 1e3;
    state.counters["ratio"] = withSeconds / plainSeconds;
    if (second.warp) {
        // What the warp pass draws at this raster (a smooth mesh is cut to it).
        state.counters["warp_vertices"] = static_cast<double>(tessellatedVertexCount(
            second.warp->corners, second.warp->mesh ? &*second.warp->mesh : nullptr,
            PixelScale{1920, 1080}));
    }
}

// Arg: what the second output has: 1 the warp, 2 the blend map, 3 both; 5
// and 7 with the warp's mesh smooth.
BENCHMARK(BM_OutputFrame)
    ->ArgName("warp1_map2_smooth4")
    ->DenseRange(1, 3)
    ->Arg(5)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

} // namespace
} // namespace prismeta
