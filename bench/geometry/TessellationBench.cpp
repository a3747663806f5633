// Tessellation cost per corner-pinned quad and per mesh cell, into reused
// storage as the renderer does it every frame.
#include "core/Surface.h"
#include "geometry/ProjectiveWeights.h"
#include "geometry/Tessellation.h"

#include <benchmark/benchmark.h>

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

} // namespace
} // namespace prismeta
