// Project file speed against plain nlohmann parsing and dumping of the same
// bytes, so the cost of validation and the record mapping shows as a ratio.
#include "BenchProjects.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace prismeta {
namespace {

const std::string& largeProjectText() {
    static const std::string text = writeProjectFile(bench::largeProject(10000)).value();
    return text;
}

void BM_ReadProjectFile_10k(benchmark::State& state) {
    const std::string& text = largeProjectText();
    for (auto _ : state) {
        auto file = readProjectFile(text);
        benchmark::DoNotOptimize(file);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadProjectFile_10k)->Unit(benchmark::kMillisecond);

void BM_PlainJsonParse_10k(benchmark::State& state) {
    const std::string& text = largeProjectText();
    for (auto _ : state) {
        auto json = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(json);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PlainJsonParse_10k)->Unit(benchmark::kMillisecond);

void BM_WriteProjectFile_10k(benchmark::State& state) {
    const ProjectFile file = bench::largeProject(10000);
    for (auto _ : state) {
        auto text = writeProjectFile(file);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_WriteProjectFile_10k)->Unit(benchmark::kMillisecond);

void BM_PlainJsonDump_10k(benchmark::State& state) {
    const auto json = nlohmann::json::parse(largeProjectText());
    for (auto _ : state) {
        auto text = json.dump(2);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_PlainJsonDump_10k)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace prismeta
