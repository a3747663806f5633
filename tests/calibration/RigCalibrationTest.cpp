// Calibration on the synthetic rig, against its truth. The rig is small
// (quarter-size projectors and camera, the same pixels-per-pixel ratio as the
// full-size one) so the suite stays quick; bench_calibration measures the
// full-size rig.
#include "RigCalibration.h"

#include "calibration/ApplyCalibration.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace prismeta::rig {
namespace {

namespace cal = calibration;

RigSetup smallRig(WallShape shape) {
    RigSetup setup;
    setup.shape = shape;
    setup.projectorWidth = 480;
    setup.projectorHeight = 270;
    setup.cameraWidth = 480;
    setup.cameraHeight = 270;
    return setup;
}

void expectAccurate(const RigRun& run, const SyntheticRig& rig, double rms, double max) {
    std::printf("capture %.2f s, decode %.2f s, fit %.2f s\n", run.captureSeconds,
                run.decodeSeconds, run.fitSeconds);
    for (const std::string& line : run.result.failureLines()) {
        std::printf("%s\n", line.c_str());
    }
    ASSERT_TRUE(run.result.applicable());
    for (std::size_t p = 0; p < run.result.outputs.size(); ++p) {
        const cal::OutputCalibration& o = run.result.outputs[p];
        const Error e = warpError(rig, p, *o.fit, run.result.region);
        std::printf("%s; against the truth %.3f px RMS, %.3f px max over %zu points\n",
                    cal::summaryLine(o).c_str(), e.rms, e.max, e.points);
        EXPECT_GE(o.decodedShare, 0.9) << o.name;
        EXPECT_GT(e.points, 1000u);
        EXPECT_LE(e.rms, rms) << o.name;
        EXPECT_LE(e.max, max) << o.name;
    }
}

TEST(RigCalibration, FlatWallFourProjectors) {
    SyntheticRig rig = makeGridRig(smallRig(WallShape::flat));
    const RigRun run = calibrateOnRig(rig, {});
    expectAccurate(run, rig, 0.25, 1.0);
    for (const cal::OutputCalibration& o : run.result.outputs) {
        EXPECT_EQ(o.fit->meshCols, 0) << "a flat wall takes a homography";
    }
}

// Measured through the smooth map of the mesh as the project stores it, which
// is how the renderer draws it.
TEST(RigCalibration, CylinderTakesASmoothMesh) {
    SyntheticRig rig = makeGridRig(smallRig(WallShape::cylinder));
    const RigRun run = calibrateOnRig(rig, {});
    expectAccurate(run, rig, 0.5, 1.5);
    std::vector<std::size_t> indexes;
    for (std::size_t p = 0; p < run.result.outputs.size(); ++p) {
        indexes.push_back(p);
    }
    const std::vector<OutputConfig> written =
        cal::calibratedOutputs(std::vector<OutputConfig>(indexes.size()), indexes, run.result, {});
    for (std::size_t p = 0; p < written.size(); ++p) {
        const cal::WarpFit& fit = *run.result.outputs[p].fit;
        EXPECT_GT(fit.meshCols, 0);
        ASSERT_TRUE(written[p].warp && written[p].warp->mesh);
        const WarpMesh& mesh = *written[p].warp->mesh;
        EXPECT_EQ(mesh.interpolation, WarpMesh::Interpolation::smooth);
        const std::optional<SmoothMeshMap> smooth = SmoothMeshMap::from(mesh);
        ASSERT_TRUE(smooth);
        for (const double u : {0.0, 0.37, 0.81, 1.0}) {
            for (const double v : {0.0, 0.52, 1.0}) {
                const auto drawn = smooth->map(u, v);
                const auto fitted = cal::warpCanvasToProjector(
                    fit, {fit.crop.x + u * fit.crop.width, fit.crop.y + v * fit.crop.height});
                ASSERT_TRUE(drawn && fitted);
                EXPECT_NEAR(drawn->x * fit.projectorWidth, fitted->x, 1e-3);
                EXPECT_NEAR(drawn->y * fit.projectorHeight, fitted->y, 1e-3);
            }
        }
    }
}

TEST(RigCalibration, NoiseAndAmbientLight) {
    RigSetup setup = smallRig(WallShape::flat);
    setup.noiseSigma = 6.0;
    setup.ambient = 0.3;
    SyntheticRig rig = makeGridRig(setup);
    const RigRun run = calibrateOnRig(rig, {});
    expectAccurate(run, rig, 0.75, 3.0);
}

TEST(RigCalibration, ClosedLoopSeamsAndEvenWhite) {
    for (const WallShape shape : {WallShape::flat, WallShape::cylinder}) {
        RigSetup setup = smallRig(shape);
        setup.brightness = {1.0, 0.85, 0.93, 0.9};
        SyntheticRig rig = makeGridRig(setup);
        const RigRun run = calibrateOnRig(rig, {});
        ASSERT_TRUE(run.result.applicable());
        const double seam = seamError(rig, run.result);
        const double uneven = whiteUnevenness(rig, run.result);
        std::printf("seams within %.3f camera px, white within %.2f %%\n", seam, uneven * 100.0);
        EXPECT_LE(seam, 1.0);
        EXPECT_LE(uneven, 0.03);
    }
}

TEST(RigCalibration, FailuresNameTheOutputAndApplyNothing) {
    // Exposed four times too long: every white clips.
    SyntheticRig bright = makeGridRig(smallRig(WallShape::flat));
    bright.camera().exposure *= 4.0;
    const RigRun saturated = calibrateOnRig(bright, {});
    EXPECT_FALSE(saturated.result.applicable());
    ASSERT_EQ(saturated.result.failureLines().size(), 4u);
    EXPECT_NE(
        saturated.result.failureLines()[0].find("Output 'P1': the camera picture is saturated"),
        std::string::npos)
        << saturated.result.failureLines()[0];

    // Far too short, in a room that is not dark: little contrast and noise.
    RigSetup setup = smallRig(WallShape::flat);
    setup.ambient = 1.0;
    setup.noiseSigma = 4.0;
    SyntheticRig dim = makeGridRig(setup);
    dim.camera().exposure *= 0.03;
    const RigRun dark = calibrateOnRig(dim, {});
    EXPECT_FALSE(dark.result.applicable());
    ASSERT_FALSE(dark.result.failureLines().empty());
    for (const std::string& line : dark.result.failureLines()) {
        EXPECT_TRUE(line.find("too dark") != std::string::npos ||
                    line.find("not seen by the camera") != std::string::npos)
            << line;
    }

    // A curved wall forced into four corners leaves a residual above 2 px.
    RigSetup curved = smallRig(WallShape::cylinder);
    SyntheticRig column = makeGridRig(curved);
    cal::CalibrationOptions corners;
    corners.warp.model = cal::WarpModel::homography;
    const RigRun forced = calibrateOnRig(column, corners);
    EXPECT_FALSE(forced.result.applicable());
    bool residual = false;
    for (const std::string& line : forced.result.failureLines()) {
        residual = residual || line.find("residual") != std::string::npos;
    }
    EXPECT_TRUE(residual);
}

} // namespace
} // namespace prismeta::rig
