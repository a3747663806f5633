// Masks in the project file: written only when set, read back exactly,
// lenient where a hand-edited file needs it, strict where corners are.
#include "core/Log.h"
#include "core/ProjectFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace prismeta {
namespace {

using nlohmann::json;

Mask sampleMask() {
    Mask m;
    m.name = "Arch";
    m.points = {MaskPoint{0.1f, 0.9f, std::nullopt, std::nullopt},
                MaskPoint{0.1f, 0.4f, std::nullopt, Pt{0.1f, 0.1f}},
                MaskPoint{0.9f, 0.4f, Pt{0.9f, 0.1f}, std::nullopt},
                MaskPoint{0.9f, 0.9f, Pt{0.3f, 0.7f}, Pt{0.123456789f, 1e-7f}}};
    m.feather = 0.0625f;
    m.invert = true;
    m.enabled = false;
    return m;
}

ProjectFile projectWithMasks() {
    ProjectFile file;
    file.surfaces.emplace_back();
    file.surfaces.emplace_back();
    file.surfaces[1].masks = {sampleMask(), Mask{}};
    file.outputs.emplace_back();
    file.outputs[0].masks = {sampleMask()};
    return file;
}

std::vector<std::string> logOf(const std::string& text, Result<ProjectFile>* out = nullptr) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    Result<ProjectFile> read = readProjectFile(text);
    if (out != nullptr) {
        *out = std::move(read);
    }
    return lines;
}

TEST(MaskFile, RoundTripsExactlyAndOnlyRecordsWithMasksGainTheKey) {
    const ProjectFile file = projectWithMasks();
    const std::string text = writeProjectFile(file).value();
    const auto read = readProjectFile(text);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value(), file);
    EXPECT_EQ(writeProjectFile(read.value()).value(), text);

    const json doc = json::parse(text);
    EXPECT_FALSE(doc["surfaces"][0].contains("masks"));
    ASSERT_TRUE(doc["surfaces"][1].contains("masks"));
    const json& arch = doc["outputs"][0]["masks"][0];
    EXPECT_EQ(arch["name"], "Arch");
    EXPECT_EQ(arch["invert"], true);
    EXPECT_EQ(arch["enabled"], false);
    EXPECT_FALSE(arch["points"][0].contains("in"));
    EXPECT_FALSE(arch["points"][0].contains("out"));
    EXPECT_TRUE(arch["points"][1].contains("out"));

    // Emptying the masks gives back the bytes of a project that never had any.
    ProjectFile plain = file;
    plain.surfaces[1].masks.clear();
    plain.outputs[0].masks.clear();
    ProjectFile never;
    never.surfaces = {file.surfaces[0], file.surfaces[1]};
    never.surfaces[1].masks.clear();
    never.outputs = {file.outputs[0]};
    never.outputs[0].masks.clear();
    EXPECT_EQ(writeProjectFile(plain).value(), writeProjectFile(never).value());
    EXPECT_EQ(writeProjectFile(plain).value().find("masks"), std::string::npos);
}

TEST(MaskFile, OptionalKeysDefaultAndFeatherIsClampedOnReading) {
    json doc = json::parse(writeProjectFile(projectWithMasks()).value());
    json& masks = doc["surfaces"][1]["masks"];
    masks[0] = json{
        {"points", json::array({{{"x", 0}, {"y", 0}}, {{"x", 1}, {"y", 0}}, {{"x", 1}, {"y", 1}}})},
        {"feather", 7}};
    masks[1] = json{{"feather", -1}, {"name", nullptr}, {"points", nullptr}};
    std::vector<std::string> lines;
    Result<ProjectFile> read = Result<ProjectFile>::failure("not read");
    lines = logOf(doc.dump(), &read);
    ASSERT_TRUE(read) << read.error();
    const std::vector<Mask>& got = read.value().surfaces[1].masks;
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, "Mask");
    EXPECT_TRUE(got[0].enabled);
    EXPECT_FALSE(got[0].invert);
    EXPECT_EQ(got[0].feather, 0.5f);
    EXPECT_EQ(got[1].feather, 0.0f);
    // A mask of fewer than three points is kept, and said once.
    EXPECT_TRUE(got[1].points.empty());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("fewer than 3 points"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("surfaces[1].masks[1]"), std::string::npos) << lines[0];
}

TEST(MaskFile, WrongTypesAndNumbersNoFloatHoldsFailTheFileWithTheirPath) {
    const json base = json::parse(writeProjectFile(projectWithMasks()).value());
    const auto failure = [&base](const char* pointer, json value) {
        json doc = base;
        doc[json::json_pointer(pointer)] = std::move(value);
        const auto read = readProjectFile(doc.dump());
        return read ? std::string("read") : read.error();
    };
    EXPECT_NE(failure("/surfaces/1/masks/0/points/1/out/x", 1e39)
                  .find("surfaces[1].masks[0].points[1].out.x"),
              std::string::npos);
    EXPECT_NE(failure("/outputs/0/masks/0/points/0/y", 1e300).find("outside the 32-bit"),
              std::string::npos);
    EXPECT_NE(failure("/outputs/0/masks/0/invert", "yes").find("expected a boolean"),
              std::string::npos);
    EXPECT_NE(failure("/outputs/0/masks", 3).find("outputs[0].masks"), std::string::npos);
    EXPECT_NE(failure("/surfaces/1/masks/0/points/0", json::array()).find("an object"),
              std::string::npos);
}

TEST(MaskFile, MasksBeyondWhatIsDrawnAreKeptAndLoggedOnce) {
    ProjectFile file;
    file.surfaces.emplace_back();
    Mask big;
    big.points.resize(Mask::maxDrawnPoints + 1);
    file.surfaces[0].masks.assign(Mask::maxDrawnMasks + 1, Mask{});
    file.surfaces[0].masks[0] = big;
    for (std::size_t i = 1; i < file.surfaces[0].masks.size(); ++i) {
        file.surfaces[0].masks[i].points.resize(3);
    }
    Result<ProjectFile> read = Result<ProjectFile>::failure("not read");
    const std::vector<std::string> lines = logOf(writeProjectFile(file).value(), &read);
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read.value(), file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("more than 64 masks"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("more than 10000 points"), std::string::npos) << lines[1];
}

} // namespace
} // namespace prismeta
