// An undo snapshot is taken on every nudge repeat and at the start of every
// drag: it must cost the same whatever the number of surfaces.
#include "BenchProjects.h"

#include "core/ProjectModel.h"

#include <benchmark/benchmark.h>

namespace prismeta {
namespace {

void BM_PushUndo(benchmark::State& state) {
    ProjectModel model;
    model.setSurfaces(bench::largeProject(static_cast<int>(state.range(0))).surfaces);
    for (auto _ : state) {
        model.pushUndo();
    }
}
BENCHMARK(BM_PushUndo)->Arg(10)->Arg(1000)->Arg(10000);

// The edit that follows a snapshot pays for the copy: linear, as expected.
void BM_ReplaceOneSurface(benchmark::State& state) {
    ProjectModel model;
    model.setSurfaces(bench::largeProject(static_cast<int>(state.range(0))).surfaces);
    Surface s = model.surfaces()[0];
    for (auto _ : state) {
        s.opacity = s.opacity > 0.5 ? 0.25 : 0.75;
        model.replaceSurface(0, s);
    }
}
BENCHMARK(BM_ReplaceOneSurface)->Arg(10)->Arg(1000)->Arg(10000);

} // namespace
} // namespace prismeta
