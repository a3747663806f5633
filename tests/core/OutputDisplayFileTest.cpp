// An output's optional "display" in the project file: written only when set,
// read back equal, and never the reason a file fails to load.
#include "core/ProjectFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace prismeta {
namespace {

std::string fileWithOutput(const std::string& extraKeys) {
    return R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
        "outputs": [{"blendBottom": 0, "blendLeft": 0.1, "blendRight": 0, "blendTop": 0,
                     "cropHeight": 1, "cropWidth": 0.5, "cropX": 0.5, "cropY": 0,)" +
           extraKeys + R"(
                     "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "name": "Right Half"}],
        "surfaces": []})";
}

TEST(OutputDisplayFile, WrittenInItsPlaceWithSortedKeysAndReadBackEqual) {
    ProjectFile file;
    OutputConfig placed = makeOutput(OutputPreset::rightHalf);
    placed.display = OutputDisplay{"HDMI-1", {1920, -120, 1280, 720}, false};
    file.outputs = {placed, makeOutput(OutputPreset::leftHalf)};

    const auto bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    const std::string expected = R"(      "cropY": 0.0,
      "display": {
        "fullScreen": false,
        "height": 720,
        "screen": "HDMI-1",
        "width": 1280,
        "x": 1920,
        "y": -120
      },
      "id": ")";
    EXPECT_NE(bytes.value().find(expected), std::string::npos) << bytes.value();
    // The unplaced output has no key at all.
    EXPECT_EQ(bytes.value().find("\"display\""), bytes.value().rfind("\"display\""));

    const auto back = readProjectFile(bytes.value());
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back.value(), file);
    EXPECT_FALSE(back->outputs[1].display);
}

TEST(OutputDisplayFile, AProjectThatNeverPlacedAnOutputKeepsItsBytes) {
    // The example show predates displays: read and written back, byte for byte.
    std::ifstream in(PRISMETA_SOURCE_DIR "/examples/demo.prismeta.json", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    const auto demo = readProjectFile(text.str());
    ASSERT_TRUE(demo) << demo.error();
    ASSERT_FALSE(demo->outputs.empty());
    for (const OutputConfig& output : demo->outputs) {
        EXPECT_FALSE(output.display);
    }
    EXPECT_EQ(writeProjectFile(demo.value()).value(), text.str());
}

TEST(OutputDisplayFile, FullScreenMayBeLeftOutAndUnknownKeysInsideAreIgnored) {
    const auto file = readProjectFile(fileWithOutput(
        R"("display": {"screen": "DP-2", "x": 0, "y": 0, "width": 3840.0, "height": 2160,
                       "refresh": 60, "edid": {"maker": "ACME"}},)"));
    ASSERT_TRUE(file) << file.error();
    const OutputDisplay expected{"DP-2", {0, 0, 3840, 2160}, true};
    EXPECT_EQ(file->outputs[0].display, std::optional(expected));
}

// Each of these leaves the output unplaced and everything else as written.
TEST(OutputDisplayFile, ADisplayThatIsNotUsableIsIgnoredAndTheFileStillLoads) {
    const std::string big(5000, 'x');
    const std::vector<std::string> displays = {
        R"(null)",
        R"("HDMI-1")",
        R"(["HDMI-1", 0, 0, 1920, 1080])",
        R"({})",
        R"({"screen": 7, "x": 0, "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "", "x": 0, "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "HDMI-1", "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "HDMI-1", "x": "0", "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "HDMI-1", "x": 0.5, "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 0, "height": 1080})",
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": -1920, "height": 1080})",
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 1920, "height": 1e300})",
        R"({"screen": "HDMI-1", "x": 9999999999, "y": 0, "width": 1920, "height": 1080})",
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 1920, "height": 1080,
            "fullScreen": "yes"})",
        R"({"screen": ")" + std::string(2000, 'n') +
            R"(", "x": 0, "y": 0, "width": 1920, "height": 1080})",
        // Beyond what a key read leniently may hold at all.
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 1920, "height": 1080, "note": ")" + big +
            R"("})",
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 1920, "height": 1080,
            "deep": [[[[[[[[[[[[1]]]]]]]]]]]]})",
    };
    for (const std::string& display : displays) {
        SCOPED_TRACE(display.substr(0, 120));
        const auto file = readProjectFile(fileWithOutput("\"display\": " + display + ","));
        ASSERT_TRUE(file) << file.error();
        ASSERT_EQ(file->outputs.size(), 1u);
        const OutputConfig& output = file->outputs[0];
        EXPECT_FALSE(output.display);
        EXPECT_EQ(output.name, "Right Half");
        EXPECT_EQ(output.cropX, 0.5f);
        EXPECT_EQ(output.blendLeft, 0.1f);
    }
}

TEST(OutputDisplayFile, OfTwoDisplayKeysTheLastCountsEvenWhenItIsNotUsable) {
    const std::string good =
        R"({"screen": "HDMI-1", "x": 0, "y": 0, "width": 1920, "height": 1080})";
    auto file = readProjectFile(fileWithOutput("\"display\": " + good + ", \"display\": 3,"));
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->outputs[0].display);
    file = readProjectFile(fileWithOutput("\"display\": 3, \"display\": " + good + ","));
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->outputs[0].display);
}

} // namespace
} // namespace prismeta
