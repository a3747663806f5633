// Memory and time of reading large project files, beside a plain nlohmann
// parse of the same bytes into a document tree (how files were read before).
// Each benchmark reports its peak heap above the file's text, that peak plus
// the text as a multiple of the file's size, and the rise of the resident set.
#include "BenchProjects.h"
#include "HeapMeter.h"

#include "core/ProjectModel.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace prismeta {
namespace {

using bench::HeapMeter;

constexpr double megabyte = 1e6;

// The text of one surface object as the writer lays it out inside the
// surfaces array, with a cols x rows mesh.
std::string meshedSurfaceText(int cols, int rows) {
    ProjectFile one;
    Surface s;
    s.name = "Dome panel";
    s.mesh = WarpMesh::from(s.corners, cols, rows);
    for (std::size_t i = 0; i < s.mesh->points.size(); ++i) {
        // Digits like a calibrated grid's, not the short ones of a flat one.
        s.mesh->points[i].x += 0.000731f * static_cast<float>(i % 13);
        s.mesh->points[i].y -= 0.000587f * static_cast<float>(i % 11);
    }
    one.surfaces.push_back(s);
    const std::string text = writeProjectFile(one).value();
    const std::string open = "\"surfaces\": [\n";
    const std::size_t from = text.find(open) + open.size();
    const std::size_t to = text.rfind("\n  ]");
    return text.substr(from, to - from);
}

// About 40 MB of surfaces with 100 x 100 meshes, in the writer's layout.
const std::string& meshHeavyText() {
    static const std::string text = [] {
        const std::string surface = meshedSurfaceText(100, 100);
        std::string document = "{\n  \"backgroundOpacity\": 0.5,\n  \"canvasHeight\": 1080.0,\n"
                               "  \"canvasWidth\": 1920.0,\n  \"outputs\": [],\n"
                               "  \"surfaces\": [\n";
        const std::size_t count = 40'000'000 / surface.size() + 1;
        document.reserve(count * (surface.size() + 2) + 16);
        for (std::size_t i = 0; i < count; ++i) {
            document += surface;
            document += i + 1 < count ? ",\n" : "\n";
        }
        document += "  ]\n}\n";
        return document;
    }();
    return text;
}

// The same surfaces without the writer's indentation, as other tools write
// JSON: the densest text of mesh points.
const std::string& meshHeavyCompactText() {
    static const std::string text = [] {
        const std::string surface = nlohmann::json::parse(meshedSurfaceText(100, 100)).dump();
        std::string document = R"({"backgroundOpacity":0.5,"canvasHeight":1080.0,)"
                               R"("canvasWidth":1920.0,"outputs":[],"surfaces":[)";
        const std::size_t count = 40'000'000 / surface.size() + 1;
        document.reserve(count * (surface.size() + 1) + 4);
        for (std::size_t i = 0; i < count; ++i) {
            document += surface;
            document += i + 1 < count ? "," : "]}";
        }
        return document;
    }();
    return text;
}

// A small project with about 30 MB of empty objects under a key no reader
// knows (a newer version's data, say).
const std::string& junkText() {
    static const std::string text = [] {
        std::string document = R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, )"
                               R"("canvasWidth": 1920, "outputs": [], "surfaces": [], "junk": [)";
        const std::size_t count = 10'000'000;
        document.reserve(document.size() + count * 3 + 4);
        for (std::size_t i = 0; i < count; ++i) {
            document += i + 1 < count ? "{}," : "{}";
        }
        document += "]}";
        return document;
    }();
    return text;
}

// The shape of a large real show (10,000 surfaces, every fourth meshed 4 x 3).
const std::string& manySurfacesText() {
    static const std::string text = writeProjectFile(bench::largeProject(10000)).value();
    return text;
}

template <class Read> void measure(benchmark::State& state, const std::string& text, Read read) {
    std::size_t peakHeap = 0;
    std::size_t residentRise = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HeapMeter::reset();
        const std::size_t heapBefore = HeapMeter::live();
        const std::size_t residentBefore = HeapMeter::residentNow();
        state.ResumeTiming();

        read();

        state.PauseTiming();
        peakHeap = std::max(peakHeap, HeapMeter::peak() - heapBefore);
        const std::size_t residentPeak = HeapMeter::residentPeak();
        residentRise = std::max(residentRise,
                                residentPeak > residentBefore ? residentPeak - residentBefore : 0);
        state.ResumeTiming();
    }
    const double size = static_cast<double>(text.size());
    state.counters["file_MB"] = size / megabyte;
    state.counters["peak_heap_MB"] = static_cast<double>(peakHeap) / megabyte;
    state.counters["x_file"] = (static_cast<double>(peakHeap) + size) / size;
    state.counters["rss_rise_MB"] = static_cast<double>(residentRise) / megabyte;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void readRecords(const std::string& text) {
    auto file = readProjectFile(text);
    if (!file) {
        std::fprintf(stderr, "bench file does not read: %s\n", file.error().c_str());
        std::abort();
    }
    benchmark::DoNotOptimize(file);
}

void parseTree(const std::string& text) {
    auto tree = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(tree);
}

void BM_ReadProjectFile_MeshHeavy(benchmark::State& state) {
    measure(state, meshHeavyText(), [] { readRecords(meshHeavyText()); });
}
BENCHMARK(BM_ReadProjectFile_MeshHeavy)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PlainJsonParse_MeshHeavy(benchmark::State& state) {
    measure(state, meshHeavyText(), [] { parseTree(meshHeavyText()); });
}
BENCHMARK(BM_PlainJsonParse_MeshHeavy)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadProjectFile_MeshHeavyCompact(benchmark::State& state) {
    measure(state, meshHeavyCompactText(), [] { readRecords(meshHeavyCompactText()); });
}
BENCHMARK(BM_ReadProjectFile_MeshHeavyCompact)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PlainJsonParse_MeshHeavyCompact(benchmark::State& state) {
    measure(state, meshHeavyCompactText(), [] { parseTree(meshHeavyCompactText()); });
}
BENCHMARK(BM_PlainJsonParse_MeshHeavyCompact)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadProjectFile_UnknownKeyJunk(benchmark::State& state) {
    measure(state, junkText(), [] { readRecords(junkText()); });
}
BENCHMARK(BM_ReadProjectFile_UnknownKeyJunk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PlainJsonParse_UnknownKeyJunk(benchmark::State& state) {
    measure(state, junkText(), [] { parseTree(junkText()); });
}
BENCHMARK(BM_PlainJsonParse_UnknownKeyJunk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadProjectFile_ManySurfaces(benchmark::State& state) {
    measure(state, manySurfacesText(), [] { readRecords(manySurfacesText()); });
}
BENCHMARK(BM_ReadProjectFile_ManySurfaces)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlainJsonParse_ManySurfaces(benchmark::State& state) {
    measure(state, manySurfacesText(), [] { parseTree(manySurfacesText()); });
}
BENCHMARK(BM_PlainJsonParse_ManySurfaces)->Unit(benchmark::kMillisecond)->Iterations(5);

// Saving the mesh-heavy project, beside the reader's figure for comparison.
void BM_WriteProjectFile_MeshHeavy(benchmark::State& state) {
    const ProjectFile file = readProjectFile(meshHeavyText()).value();
    std::size_t written = 0;
    measure(state, meshHeavyText(), [&] {
        auto text = writeProjectFile(file);
        written = text.value().size();
        benchmark::DoNotOptimize(text);
    });
    state.counters["written_MB"] = static_cast<double>(written) / megabyte;
}
BENCHMARK(BM_WriteProjectFile_MeshHeavy)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole open: the file read from disk, its records, and the copy the
// model keeps to tell unsaved changes. The text is not held before the
// measurement here, so x_file counts it inside the peak.
void BM_LoadIntoModel_MeshHeavy(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("prismeta-bench-load-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path, std::ios::binary) << meshHeavyText();
    const std::size_t size = meshHeavyText().size();
    std::size_t peakHeap = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<ProjectModel>();
        HeapMeter::reset();
        const std::size_t heapBefore = HeapMeter::live();
        state.ResumeTiming();

        if (!model->load(path)) {
            std::abort();
        }

        state.PauseTiming();
        peakHeap = std::max(peakHeap, HeapMeter::peak() - heapBefore);
        model.reset();
        state.ResumeTiming();
    }
    std::filesystem::remove(path);
    state.counters["file_MB"] = static_cast<double>(size) / megabyte;
    state.counters["peak_heap_MB"] = static_cast<double>(peakHeap) / megabyte;
    state.counters["x_file"] = static_cast<double>(peakHeap) / static_cast<double>(size);
}
BENCHMARK(BM_LoadIntoModel_MeshHeavy)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace prismeta
