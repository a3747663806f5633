// prismeta-cli calibration-patterns and calibrate, offline: the patterns it
// writes are shown on the synthetic rig, whose camera pictures go into a
// folder that calibrate reads.
#include "RigCalibration.h"
#include "ToolRunner.h"

#include "calibration/CanvasRegion.h"
#include "calibration/ImageFiles.h"
#include "calibration/PatternManifest.h"
#include "core/FileIO.h"
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace prismeta {
namespace {

namespace fs = std::filesystem;
namespace cal = calibration;
using testing::runTool;
using testing::ToolRun;

ToolRun cli(const std::vector<std::string>& args) {
    return runTool(PRISMETA_CLI, args);
}

class CalibrateCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "prismeta-calibrate-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ProjectFile file;
        // The whole canvas white.
        Surface white;
        white.corners = {Pt{0, 0}, Pt{1, 0}, Pt{1, 1}, Pt{0, 1}};
        white.mediaKind = MediaKind::color;
        white.color = RGBA{1.0f, 1.0f, 1.0f, 1.0f};
        file.surfaces.push_back(white);
        for (const char* name : {"TL", "TR", "BL", "BR"}) {
            OutputConfig output = makeOutput(OutputPreset::full);
            output.name = name;
            // The projectors' gamma, as the operator sets it for blending.
            output.blendGamma = 2.2f;
            file.outputs.push_back(output);
        }
        project = dir / "show.prismeta.json";
        ASSERT_TRUE(writeFileAtomically(project, writeProjectFile(file).value()));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // The camera's pictures of every pattern in `patterns`, under the same
    // names in `captures`; `hidden` projectors are not seen at all.
    void capture(rig::SyntheticRig& rig, const fs::path& patterns, const fs::path& captures,
                 std::size_t hidden = 99) {
        fs::create_directories(captures);
        fs::copy_file(patterns / "patterns.json", captures / "patterns.json");
        const auto manifest =
            cal::readManifest(readRegularFile(patterns / "patterns.json").value());
        ASSERT_TRUE(manifest);
        const rig::GreyImage black(480, 270, 0);
        for (std::size_t k = 0; k < manifest.value().size(); ++k) {
            for (const std::string& name : manifest.value()[k].images) {
                const auto shown = cal::readGreyImage((patterns / name).string());
                ASSERT_TRUE(shown);
                const auto seen = rig.captureOne(k, k == hidden ? black : shown.value());
                ASSERT_TRUE(cal::writeGreyPng((captures / name).string(), seen));
            }
        }
    }
    fs::path dir;
    fs::path project;
};

// The grid rig at 480x270 for projectors and camera alike: enough for the
// command line's path, quick to render.
rig::SyntheticRig smallGridRig() {
    rig::RigSetup setup;
    setup.projectorWidth = 480;
    setup.projectorHeight = 270;
    setup.cameraWidth = 480;
    setup.cameraHeight = 270;
    return rig::makeGridRig(setup);
}

TEST_F(CalibrateCommand, PatternsCapturedOfflineCalibrateTheProject) {
    rig::SyntheticRig rig = smallGridRig();

    // Without a screen the outputs' size must be given.
    EXPECT_EQ(cli({"calibration-patterns", project.string(), "-o", (dir / "p").string()}).exitCode,
              2);
    const ToolRun patterns = cli({"calibration-patterns", project.string(), "-o",
                                  (dir / "p").string(), "--size", "480x270"});
    ASSERT_EQ(patterns.exitCode, 0) << patterns.err;
    // One line an output: what, how large, where.
    EXPECT_EQ(std::count(patterns.out.begin(), patterns.out.end(), '\n'), 4) << patterns.out;
    const std::size_t count = cal::makePatternSet(480, 270, {}).patterns.size();
    EXPECT_NE(patterns.out.find("Output 'BR': " + std::to_string(count) +
                                " patterns, 480x270, in " + (dir / "p").string() +
                                " as out4-*.png\n"),
              std::string::npos)
        << patterns.out;
    capture(rig, dir / "p", dir / "c");

    const fs::path out = dir / "calibrated.prismeta.json";
    // The canvas where the operator marked it in the camera picture.
    const cal::CanvasCorners region{cal::Vec2{70, 45}, {410, 40}, {415, 232}, {66, 228}};
    const ToolRun run = cli({"calibrate", project.string(), "--captures", (dir / "c").string(),
                             "-o", out.string(), "--region", "70,45,410,40,415,232,66,228"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4) << run.out;
    EXPECT_NE(run.out.find("Output 'BR': "), std::string::npos) << run.out;
    for (int k = 1; k <= 4; ++k) {
        EXPECT_TRUE(fs::exists(dir / ("calibrated-blend-" + std::to_string(k) + ".png")));
    }
    ProjectModel model;
    ASSERT_TRUE(model.load(out));
    // Each crop covers about its quarter of the canvas and a little more.
    const OutputConfig& tl = model.outputs()[0];
    const OutputConfig& br = model.outputs()[3];
    EXPECT_EQ(tl.cropX, 0.0f);
    EXPECT_GT(tl.cropWidth, 0.5f);
    EXPECT_LT(tl.cropWidth, 0.6f);
    EXPECT_GT(br.cropX, 0.4f);
    EXPECT_NEAR(br.cropX + br.cropWidth, 1.0f, 1e-6f);
    // The warps written land where the rig's truth says.
    for (std::size_t k = 0; k < 4; ++k) {
        const OutputConfig& o = model.outputs()[k];
        ASSERT_TRUE(o.warp);
        ASSERT_TRUE(o.blendMap);
        EXPECT_EQ(fs::path(*o.blendMap).filename(),
                  "calibrated-blend-" + std::to_string(k + 1) + ".png");
        cal::WarpFit fit;
        fit.projectorWidth = 480;
        fit.projectorHeight = 270;
        fit.crop = {o.cropX, o.cropY, o.cropWidth, o.cropHeight};
        for (std::size_t c = 0; c < 4; ++c) {
            fit.corners[c] = {o.warp->corners[c].x, o.warp->corners[c].y};
        }
        const rig::Error e = rig::warpError(rig, k, fit, region);
        EXPECT_GT(e.points, 1000u);
        EXPECT_LT(e.rms, 0.25) << o.name;
        EXPECT_LT(e.max, 1.0) << o.name;
    }
    // The renderer draws each output's raster through its warp and blend
    // map; shown on the rig, the white canvas is even across the overlaps.
    std::vector<rig::GreyImage> rasters;
    for (std::size_t k = 0; k < 4; ++k) {
        const fs::path png = dir / ("raster-" + std::to_string(k) + ".png");
        const ToolRun render = cli({"render", out.string(), "--output", std::to_string(k), "--size",
                                    "480x270", "-o", png.string()});
        ASSERT_EQ(render.exitCode, 0) << render.err;
        rasters.push_back(cal::readGreyImage(png.string()).value());
    }
    const double uneven = rig::whiteUnevenness(rig, rasters, region);
    std::printf("white through the renderer within %.2f %%\n", uneven * 100.0);
    EXPECT_LE(uneven, 0.03);
}

TEST_F(CalibrateCommand, AnOutputTheCameraDoesNotSeeFailsTheWholeRun) {
    rig::SyntheticRig rig = smallGridRig();
    ASSERT_EQ(cli({"calibration-patterns", project.string(), "-o", (dir / "p").string(), "--size",
                   "480x270", "--output", "TR", "--output", "0"})
                  .exitCode,
              0);
    capture(rig, dir / "p", dir / "c", 0);
    const fs::path out = dir / "calibrated.prismeta.json";
    const ToolRun run = cli(
        {"calibrate", project.string(), "--captures", (dir / "c").string(), "-o", out.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Output 'TR': not seen by the camera"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));

    EXPECT_EQ(cli({"calibrate", project.string(), "--captures", (dir / "c").string(), "-o",
                   out.string(), "--region", "1,2,3,4,5,6,7"})
                  .exitCode,
              2);
    EXPECT_EQ(cli({"calibrate", project.string(), "--captures", (dir / "missing").string(), "-o",
                   out.string()})
                  .exitCode,
              1);
}

} // namespace
} // namespace prismeta
