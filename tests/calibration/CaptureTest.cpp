// Camera sources and the threaded run that shows patterns and captures them.
#include "RigCalibration.h"

#include "calibration/CalibrationRun.h"
#include "calibration/CameraSource.h"
#include "calibration/ImageFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <unistd.h>

namespace prismeta::calibration {
namespace {

namespace fs = std::filesystem;

TEST(CommandCamera, RunsTheCommandPerPictureAndSaysWhyItFailed) {
    std::string folder = (fs::temp_directory_path() / "prismeta-command-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    GreyImage picture(8, 4, 0);
    picture.pixels[5] = 200;
    const fs::path source = fs::path(folder) / "seen it's.png";
    ASSERT_TRUE(writeGreyPng(source.string(), picture));
    const std::atomic<bool> go{false};

    // The picture's path may hold any character; the command gets it quoted.
    const std::string copy = "cp '" + fs::path(folder).string() + "/seen it'\\''s.png' %f";
    const auto taken = makeCommandCamera(copy)->capture("out1-00-white.png", go);
    ASSERT_TRUE(taken) << taken.error();
    EXPECT_EQ(taken->pixels, picture.pixels);

    const auto failed =
        makeCommandCamera("echo 'camera busy' >&2; exit 3")->capture("out1-00-white.png", go);
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().find("exit status 3: camera busy"), std::string::npos)
        << failed.error();
    EXPECT_FALSE(makeCommandCamera("true")->capture("out1-00-white.png", go));
    const auto slow = makeCommandCamera("sleep 5", std::chrono::milliseconds(100))
                          ->capture("out1-00-white.png", go);
    ASSERT_FALSE(slow);
    EXPECT_NE(slow.error().find("took longer"), std::string::npos);
    fs::remove_all(folder);
}

// The tools an operator names: ImageMagick and ffmpeg choose the format by
// the file's name, so %f must have an extension; what arrives is read by its
// content and, when unreadable, named.
TEST(CommandCamera, GivesPercentFAnExtensionAndNamesWhatItCannotRead) {
    if (::access("/usr/bin/convert", X_OK) != 0 || std::system("ffmpeg -version >/dev/null") != 0) {
        GTEST_SKIP() << "ImageMagick's convert or ffmpeg is missing";
    }
    const std::atomic<bool> go{false};
    struct Case {
        const char* command;
        const char* problem; // empty: a 16 x 8 mid-grey picture
    };
    const Case cases[] = {
        {"/usr/bin/convert -size 16x8 xc:gray50 %f", ""},
        {"/usr/bin/convert -size 16x8 xc:gray50 %f.jpg", ""},
        {"/usr/bin/convert -size 16x8 xc:gray50 jpg:%f", ""}, // JPEG bytes under .png
        {"ffmpeg -loglevel error -f lavfi -i color=gray:s=16x8 -frames:v 1 -y %f", ""},
        {"ffmpeg -loglevel error -f lavfi -i color=gray:s=16x8 -frames:v 1 -y %f.tif", ""},
        {"/usr/bin/convert -size 16x8 xc:gray50 miff:%f",
         "wrote MIFF image data: not a picture format Prismeta reads (PNG, JPEG, TIFF"},
        {"echo 'no camera found' > %f", "wrote text (\"no camera found\")"},
        {": > %f.jpg", "wrote an empty file"},
        {"true", "wrote no file at"},
        {"printf '\\377\\330\\377\\340' > %f", "wrote JPEG image data that does not decode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const auto taken = makeCommandCamera(c.command)->capture("out1-00-white.png", go);
        if (*c.problem == '\0') {
            ASSERT_TRUE(taken) << taken.error();
            EXPECT_EQ(taken->width, 16);
            EXPECT_EQ(taken->height, 8);
            EXPECT_NEAR(taken->pixels[40], 128, 3);
        } else {
            ASSERT_FALSE(taken);
            EXPECT_NE(taken.error().find(c.problem), std::string::npos) << taken.error();
        }
    }
    // A name that is not the one asked for is named.
    const auto elsewhere =
        makeCommandCamera("touch \"$(dirname %f)/IMG_0001.CR2\"")->capture("out1-00-white.png", go);
    ASSERT_FALSE(elsewhere);
    EXPECT_NE(elsewhere.error().find("out1-00-white.png (it wrote IMG_0001.CR2 instead)"),
              std::string::npos)
        << elsewhere.error();
}

TEST(V4l2Camera, RefusesBadOptionsAndMissingDevices) {
    V4l2Options options;
    options.width = 640; // a width without a height
    EXPECT_FALSE(openV4l2Camera(options));
    options.height = 480;
    options.device = "/dev/prismeta-no-such-camera";
    const auto missing = openV4l2Camera(options);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("/dev/prismeta-no-such-camera"), std::string::npos);
    if (!fs::exists("/dev/video0")) {
        GTEST_SKIP() << "no /dev/video0 on this machine: a real camera is not tried";
    }
    options.device = "/dev/video0";
    options.width = options.height = 0;
    const auto camera = openV4l2Camera(options);
    ASSERT_TRUE(camera) << camera.error();
    const std::atomic<bool> go{false};
    EXPECT_TRUE(camera.value()->capture("out1-00-white.png", go));
}

// The rig as the run's camera and windows: what the shower puts on an
// output is what the camera then sees.
class RigBench {
public:
    RigBench() : rig(makeRig()) {}
    static rig::SyntheticRig makeRig() {
        rig::RigSetup setup;
        setup.projectorWidth = 480;
        setup.projectorHeight = 270;
        setup.cameraWidth = 480;
        setup.cameraHeight = 270;
        return rig::makeGridRig(setup);
    }
    class Camera final : public CameraSource {
    public:
        explicit Camera(RigBench& bench) : bench_(bench) {}
        Result<GreyImage> capture(const std::string&, const std::atomic<bool>&) override {
            std::lock_guard lock(bench_.mutex);
            return bench_.rig.captureOne(bench_.output, bench_.shown);
        }
        std::string description() const override { return "the rig"; }

    private:
        RigBench& bench_;
    };
    PatternShower shower() {
        return [this](std::size_t which, const GreyImage* pattern, const std::atomic<bool>&) {
            std::lock_guard lock(mutex);
            ++shows;
            blackAtEnd = pattern == nullptr;
            if (pattern != nullptr) {
                output = which;
                shown = *pattern;
            }
            return true;
        };
    }
    std::vector<RunOutput> outputs() {
        std::vector<RunOutput> out;
        for (std::size_t p = 0; p < rig.projectors().size(); ++p) {
            out.push_back({"P" + std::to_string(p + 1), makePatternSet(480, 270)});
        }
        return out;
    }
    std::mutex mutex;
    rig::SyntheticRig rig;
    std::size_t output = 0;
    GreyImage shown;
    int shows = 0;
    bool blackAtEnd = false;
};

// Polls as the dialog does: the newest camera picture, then the outcome.
CalibrationRun::Outcome waitFor(CalibrationRun& run, int* pictures = nullptr) {
    for (;;) {
        if (auto picture = run.takeLatestPicture(); picture && pictures != nullptr) {
            EXPECT_EQ(picture->width, 480);
            ++*pictures;
        }
        if (auto outcome = run.takeOutcome()) {
            return std::move(*outcome);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(CalibrationRun, ShowsCapturesAndFitsOffTheCallingThread) {
    RigBench bench;
    CalibrationRun run(bench.outputs(), std::make_shared<RigBench::Camera>(bench), bench.shower(),
                       {});
    const std::size_t total = run.progress().total;
    EXPECT_EQ(total, 4 * makePatternSet(480, 270).patterns.size());
    int pictures = 0;
    const CalibrationRun::Outcome outcome = waitFor(run, &pictures);
    ASSERT_TRUE(outcome.result) << outcome.problem;
    EXPECT_TRUE(outcome.result->applicable());
    // What the dialog fits again with other corners, and shows meanwhile.
    EXPECT_EQ(outcome.decoded.size(), 4u);
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(run.progress().captured, total);
    EXPECT_TRUE(run.progress().finished);
    std::lock_guard lock(bench.mutex);
    EXPECT_TRUE(bench.blackAtEnd);
}

TEST(CalibrationRun, CancelStopsAtTheNextPictureAndLeavesTheWindowsBlack) {
    RigBench bench;
    CalibrationRun run(bench.outputs(), std::make_shared<RigBench::Camera>(bench), bench.shower(),
                       {});
    while (run.progress().captured < 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.cancel();
    const CalibrationRun::Outcome outcome = waitFor(run);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.result);
    EXPECT_LT(run.progress().captured, run.progress().total);
    std::lock_guard lock(bench.mutex);
    EXPECT_TRUE(bench.blackAtEnd);
}

} // namespace
} // namespace prismeta::calibration
