// The figures on the full-size rig: four 1920x1080 projectors in a
// 2x2 layout with 15 % overlaps and a 1920x1080 camera. Each case renders
// 220 camera pictures in software, a minute or more of processor time, so
// these run by `make calibration-full`, not in `make test`.
#include "RigCalibration.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace prismeta::rig {
namespace {

namespace cal = calibration;

void expectFigures(WallShape shape, double noise, double ambient, double rms, double max) {
    RigSetup setup;
    setup.shape = shape;
    setup.noiseSigma = noise;
    setup.ambient = ambient;
    setup.brightness = {1.0, 0.9, 0.95, 0.92};
    SyntheticRig rig = makeGridRig(setup);
    const RigRun run = calibrateOnRig(rig, {});
    std::printf("capture %.1f s, decode %.1f s, fit and blend %.1f s\n", run.captureSeconds,
                run.decodeSeconds, run.fitSeconds);
    for (const std::string& line : run.result.failureLines()) {
        std::printf("%s\n", line.c_str());
    }
    ASSERT_TRUE(run.result.applicable());
    for (std::size_t p = 0; p < run.result.outputs.size(); ++p) {
        const cal::OutputCalibration& o = run.result.outputs[p];
        const Error e = warpError(rig, p, *o.fit, run.result.region);
        std::printf("%s; against the truth %.3f px RMS, %.3f px max\n", cal::summaryLine(o).c_str(),
                    e.rms, e.max);
        EXPECT_GE(o.decodedShare, 0.9) << o.name;
        EXPECT_LE(e.rms, rms) << o.name;
        EXPECT_LE(e.max, max) << o.name;
    }
    const double seam = seamError(rig, run.result);
    const double uneven = whiteUnevenness(rig, run.result);
    std::printf("seams within %.3f camera px, white within %.2f %%\n", seam, uneven * 100.0);
    EXPECT_LE(seam, 1.0);
    EXPECT_LE(uneven, 0.03);
}

TEST(FullSizeCalibration, FlatWall) {
    expectFigures(WallShape::flat, 1.0, 0.02, 0.25, 1.0);
}

TEST(FullSizeCalibration, Cylinder) {
    expectFigures(WallShape::cylinder, 1.0, 0.02, 0.5, 1.5);
}

TEST(FullSizeCalibration, NoiseAndAmbientLight) {
    expectFigures(WallShape::flat, 6.0, 0.3, 0.75, 1e9);
}

} // namespace
} // namespace prismeta::rig
