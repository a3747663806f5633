// Tessellation cost per corner-pinned quad and per mesh cell, into reused
// storage as the renderer does it every frame, and a smooth mesh's cut,
// made once per edit.
#include "core/Surface.h"
#include "geometry/ProjectiveWeights.h"
#include "geometry/Tessellation.h"

#include <benchmark/benchmark.h>

#include <array>

namespace prismeta {
namespace {

void BM_ProjectiveWeights(benchmark::State& state) {
    const std::array<Pt, 4> quad = {Pt{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(projectiveWeights(quad));
    }
}
BENCHMARK(BM_ProjectiveWeights);

void BM_TessellateQuad(benchmark::State& state) {
    Surface surface;
    surface.corners = {{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}};
    std::vector<SurfaceVertex> out;
    out.reserve(6);
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(tessellateSurface(surface, PixelScale{}, out));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations()); // quads
}
BENCHMARK(BM_TessellateQuad);

// Items are mesh cells, so the rate reads as cells per second.
void BM_TessellateMesh(benchmark::State& state) {
    const auto n = state.range(0);
    Surface surface;
    surface.corners = {{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}};
    surface.mesh = WarpMesh::from(surface.corners, n, n);
    std::vector<SurfaceVertex> out;
    out.reserve(tessellatedVertexCount(surface, PixelScale{}));
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(tessellateSurface(surface, PixelScale{}, out));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n * n);
}
BENCHMARK(BM_TessellateMesh)->Arg(6)->Arg(32)->Arg(128);

// A smooth mesh cut for a whole 1920 x 1080 output: what each edit of it
// (a step of a point's drag) costs, map made and vertices written; the
// vertices are then kept until the next edit. Args: the mesh's columns and
// rows, one interior point bent.
void BM_CutSmoothMesh1080p(benchmark::State& state) {
    const auto cols = state.range(0);
    const auto rows = state.range(1);
    const std::array<Pt, 4> raster = {Pt{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    WarpMesh mesh = *WarpMesh::from(raster, cols, rows);
    mesh.interpolation = WarpMesh::Interpolation::smooth;
    mesh.points[static_cast<std::size_t>((rows / 2) * (cols + 1) + cols / 2)].x += 0.02f;
    std::vector<SurfaceVertex> out;
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(tessellateQuads(raster, &mesh, PixelScale{1920, 1080}, out));
        benchmark::ClobberMemory();
    }
    state.counters["vertices"] = static_cast<double>(out.size());
}
BENCHMARK(BM_CutSmoothMesh1080p)
    ->Args({4, 3})
    ->Args({16, 9})
    ->Args({64, 36})
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
