// A shader surface in the project file: the "shader" kind and its optional
// "shaderInputs", written only when set, read back equal, and never the
// reason a file fails to load.
#include "core/ProjectFile.h"

#include <gtest/gtest.h>

#include <string>

namespace prismeta {
namespace {

std::string fileWithSurface(const std::string& extraKeys) {
    return R"({"backgroundOpacity": 1, "canvasHeight": 1080, "canvasWidth": 1920, "outputs": [],
        "surfaces": [{"color": {"a": 1, "b": 1, "g": 1, "r": 1},
            "corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1}, {"x": 0, "y": 1}],
            "feather": 0, "id": "0E984725-C51C-4BF4-9960-E1C80E27ABA0", "mediaKind": "shader",
            "mediaPath": "/shows/plasma.fs", "name": "Wall", "opacity": 1)" +
           extraKeys + "}]}";
}

TEST(ShaderInputsFile, EveryShapeIsWrittenSortedAndReadBackEqual) {
    ProjectFile file;
    Surface s;
    s.mediaKind = MediaKind::shader;
    s.mediaPath = "/shows/plasma.fs";
    s.shaderInputs = {{"speed", ShaderInputValue::ofNumber(2.5)},
                      {"invert", ShaderInputValue::ofFlag(true)},
                      {"centre", ShaderInputValue::ofPoint(0.25, 0.75)},
                      {"tint", ShaderInputValue::ofColor(1, 0.5, 0, 1)},
                      {"inputImage", ShaderInputValue::ofText("/clips/a.mov")}};
    file.surfaces = {s, Surface()};
    const auto bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    const std::string expected = R"("opacity": 1.0,
      "shaderInputs": {
        "centre": [
          0.25,
          0.75
        ],
        "inputImage": "/clips/a.mov",
        "invert": true,
        "speed": 2.5,
        "tint": [
          1.0,
          0.5,
          0.0,
          1.0
        ]
      }
    })";
    EXPECT_NE(bytes.value().find(expected), std::string::npos) << bytes.value();
    EXPECT_NE(bytes.value().find("\"mediaKind\": \"shader\""), std::string::npos);
    // The surface without values has no key at all.
    EXPECT_EQ(bytes.value().find("shaderInputs"), bytes.value().rfind("shaderInputs"));
    const auto back = readProjectFile(bytes.value());
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back.value(), file);
}

// Input names come from the file, whatever the shader declares: one that
// needs escaping is written escaped and read back as it was.
TEST(ShaderInputsFile, NamesThatNeedEscapingRoundTrip) {
    ProjectFile file;
    Surface s;
    s.mediaKind = MediaKind::shader;
    s.shaderInputs = {{"a\"b\\c\n", ShaderInputValue::ofNumber(1.0)}};
    file.surfaces = {s};
    const auto bytes = writeProjectFile(file);
    ASSERT_TRUE(bytes) << bytes.error();
    const auto back = readProjectFile(bytes.value());
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back.value(), file);
}

TEST(ShaderInputsFile, ValuesOfNoUseAreLeftOutAndTheRestKept) {
    const auto file = readProjectFile(fileWithSurface(R"(, "shaderInputs": {
        "level": 0.5, "gone": {"a": 1}, "five": [1, 2, 3, 4, 5], "one": [1], "none": null,
        "mixed": [1, "x"], "three": [0.1, 0.2, 0.3], "name": "", "big": 1e300})"));
    ASSERT_TRUE(file) << file.error();
    const ShaderInputs& inputs = file->surfaces[0].shaderInputs;
    EXPECT_EQ(inputs.size(), 4u);
    EXPECT_EQ(inputs.at("level"), ShaderInputValue::ofNumber(0.5));
    EXPECT_EQ(inputs.at("three").count, 3);
    EXPECT_EQ(inputs.at("name"), ShaderInputValue::ofText(""));
    EXPECT_EQ(inputs.at("big").numbers[0], 1e300);

    for (const char* hostile : {R"(, "shaderInputs": [1, 2])", R"(, "shaderInputs": "loud")",
                                R"(, "shaderInputs": null)"}) {
        const auto other = readProjectFile(fileWithSurface(hostile));
        ASSERT_TRUE(other) << other.error();
        EXPECT_TRUE(other->surfaces[0].shaderInputs.empty());
    }
}

} // namespace
} // namespace prismeta
