// Camera calibration on the full-size synthetic rig: four 1920x1080
// projectors in a 2x2 layout with 15 % overlaps, a 1920x1080 camera. The
// camera pictures are rendered once per case outside the timing; what is
// timed is decoding and fitting all four outputs (blend maps included) on
// two threads. The counters are the figures against the rig's truth.
#include "RigCalibration.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace prismeta::rig {
namespace {

namespace cal = calibration;

struct Case {
    const char* name;
    WallShape shape;
    double noise;
    double ambient;
};

constexpr Case cases[] = {
    {"flat", WallShape::flat, 1.0, 0.02},
    {"cylinder", WallShape::cylinder, 1.0, 0.02},
    {"bulge", WallShape::bulge, 1.0, 0.02},
    {"flat, noise 6, ambient 30 %", WallShape::flat, 6.0, 0.3},
};

void decodeAndFit(benchmark::State& state) {
    const Case& c = cases[state.range(0)];
    state.SetLabel(c.name);
    RigSetup setup;
    setup.shape = c.shape;
    setup.noiseSigma = c.noise;
    setup.ambient = c.ambient;
    setup.brightness = {1.0, 0.9, 0.95, 0.92};
    SyntheticRig rig = makeGridRig(setup);
    std::vector<cal::PatternSet> sets;
    std::vector<std::vector<GreyImage>> captures;
    std::size_t patterns = 0;
    for (std::size_t p = 0; p < rig.projectors().size(); ++p) {
        sets.push_back(cal::makePatternSet(1920, 1080));
        captures.emplace_back();
        for (std::size_t k = 0; k < sets.back().patterns.size(); ++k) {
            captures.back().push_back(rig.captureOne(p, cal::renderPattern(sets.back(), k)));
        }
        patterns += sets.back().patterns.size();
    }
    cal::DecodeOptions decodeOptions;
    decodeOptions.threads = 2;
    cal::CalibrationResult result;
    for (auto _ : state) {
        std::vector<cal::DecodedOutput> decoded;
        for (std::size_t p = 0; p < sets.size(); ++p) {
            decoded.push_back(cal::decodePatterns(sets[p], captures[p], decodeOptions));
        }
        std::vector<const cal::DecodedOutput*> pointers;
        std::vector<std::string> names;
        for (std::size_t p = 0; p < decoded.size(); ++p) {
            pointers.push_back(&decoded[p]);
            names.push_back("P" + std::to_string(p + 1));
        }
        result = cal::calibrate(pointers, names, {});
        benchmark::DoNotOptimize(result);
    }
    if (!result.applicable()) {
        state.SkipWithError("the calibration failed");
        return;
    }
    double rms = 0.0;
    double max = 0.0;
    double decodedShare = 1.0;
    double residual = 0.0;
    for (std::size_t p = 0; p < result.outputs.size(); ++p) {
        const Error e = warpError(rig, p, *result.outputs[p].fit, result.region);
        rms = std::max(rms, e.rms);
        max = std::max(max, e.max);
        decodedShare = std::min(decodedShare, result.outputs[p].decodedShare);
        residual = std::max(residual, result.outputs[p].fit->maxResidual);
    }
    state.counters["patterns"] = static_cast<double>(patterns);
    state.counters["truth_rms_px"] = rms;
    state.counters["truth_max_px"] = max;
    state.counters["fit_max_px"] = residual;
    state.counters["decoded_pct"] = decodedShare * 100.0;
    state.counters["seam_cam_px"] = seamError(rig, result);
    state.counters["white_pct"] = whiteUnevenness(rig, result) * 100.0;
}

BENCHMARK(decodeAndFit)
    ->DenseRange(0, 3)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
} // namespace prismeta::rig
