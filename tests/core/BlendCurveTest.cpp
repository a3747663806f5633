// An output's blend curve, gamma and black level: their ranges, and how the
// project file writes them (only when set) and reads them (never failing the
// load of a hand-edited file).
#include "core/BlendCurve.h"
#include "core/ProjectFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <string>

namespace prismeta {
namespace {

using nlohmann::json;

TEST(BlendCurveRange, ValuesAreClampedAndNonNumbersAreTheDefault) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(blendCurveInRange(2.5f), 2.5f);
    EXPECT_EQ(blendCurveInRange(0.0f), 0.5f);
    EXPECT_EQ(blendCurveInRange(inf), 4.0f);
    EXPECT_EQ(blendCurveInRange(nan), 1.0f);
    EXPECT_EQ(blendGammaInRange(0.5f), 1.0f);
    EXPECT_EQ(blendGammaInRange(2.2f), 2.2f);
    EXPECT_EQ(blendGammaInRange(-inf), 1.0f);
    EXPECT_EQ(blendGammaInRange(7.0f), 3.0f);
    EXPECT_EQ(blendGammaInRange(nan), 1.0f);
    EXPECT_EQ(blackLevelInRange(BlackLevel{-0.1f, 0.05f, 0.3f}), (BlackLevel{0.0f, 0.05f, 0.2f}));
    EXPECT_EQ(blackLevelInRange(BlackLevel{nan, inf, -inf}), (BlackLevel{0.0f, 0.2f, 0.0f}));
}

OutputConfig plainOutput() {
    OutputConfig o = makeOutput(OutputPreset::rightHalf);
    o.blendLeft = 0.15f;
    return o;
}

std::string written(const OutputConfig& o) {
    ProjectFile file;
    file.outputs.push_back(o);
    const auto bytes = writeProjectFile(file);
    EXPECT_TRUE(bytes) << bytes.error();
    return bytes ? bytes.value() : std::string();
}

// The output object of a document that is written as before, with `extra`
// merged into it.
Result<ProjectFile> readWith(const json& extra) {
    json document = json::parse(written(plainOutput()));
    document["outputs"][0].update(extra);
    return readProjectFile(document.dump());
}

TEST(BlendCurveFile, DefaultsWriteNoKeyAndReadBackAsDefaults) {
    const std::string text = written(plainOutput());
    for (const char* key : {"blendCurve", "blendGamma", "blackLevel"}) {
        EXPECT_EQ(text.find(key), std::string::npos) << key;
    }
    // A file from before the keys existed reads with the defaults and is
    // written back byte for byte.
    const auto back = readProjectFile(text);
    ASSERT_TRUE(back) << back.error();
    const OutputConfig& o = back.value().outputs.at(0);
    EXPECT_EQ(o.blendCurve, 1.0f);
    EXPECT_EQ(o.blendGamma, 1.0f);
    EXPECT_TRUE(o.blackLevel.isZero());
    EXPECT_EQ(writeProjectFile(back.value()).value(), text);
}

TEST(BlendCurveFile, SetFieldsRoundTripAndOnlyTheyAreWritten) {
    OutputConfig o = plainOutput();
    o.blendGamma = 2.2f;
    std::string text = written(o);
    EXPECT_NE(text.find("\"blendGamma\": 2.2,"), std::string::npos) << text;
    EXPECT_EQ(text.find("blendCurve"), std::string::npos);
    EXPECT_EQ(text.find("blackLevel"), std::string::npos);

    o.blendCurve = 0.75f;
    o.blackLevel = {0.0f, 0.02f, 0.2f};
    text = written(o);
    // Sorted with the other keys; all three channels once any is set.
    EXPECT_NE(text.find("\"blackLevel\": {\n        \"b\": 0.2,\n        \"g\": 0.02,\n"
                        "        \"r\": 0.0\n      },\n      \"blendBottom\""),
              std::string::npos)
        << text;
    EXPECT_LT(text.find("\"blendBottom\""), text.find("\"blendCurve\": 0.75,"));
    EXPECT_LT(text.find("\"blendCurve\""), text.find("\"blendGamma\""));
    EXPECT_LT(text.find("\"blendGamma\""), text.find("\"blendLeft\""));
    const auto back = readProjectFile(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back.value().outputs.at(0), o);
    EXPECT_EQ(writeProjectFile(back.value()).value(), text);
}

TEST(BlendCurveFile, StoredValuesOutsideTheRangesAreWrittenAsDrawn) {
    OutputConfig o = plainOutput();
    o.blendCurve = 9.0f;
    o.blendGamma = std::numeric_limits<float>::quiet_NaN(); // never fails the save
    o.blackLevel = {-1.0f, 0.0f, 0.0f};
    const std::string text = written(o);
    EXPECT_NE(text.find("\"blendCurve\": 4.0,"), std::string::npos) << text;
    EXPECT_EQ(text.find("blendGamma"), std::string::npos);
    EXPECT_EQ(text.find("blackLevel"), std::string::npos);
}

TEST(BlendCurveFile, HandEditedValuesNeverFailTheLoad) {
    struct Case {
        json extra;
        float curve;
        float gamma;
        BlackLevel level;
    };
    const Case cases[] = {
        // Numbers in any JSON form, clamped into their ranges.
        {{{"blendCurve", 2}, {"blendGamma", 2.4}}, 2.0f, 2.4f, {}},
        {{{"blendCurve", 0.1}, {"blendGamma", 100}}, 0.5f, 3.0f, {}},
        {{{"blendCurve", -5}, {"blendGamma", -1e300}}, 0.5f, 1.0f, {}},
        {{{"blendCurve", 1e300}, {"blendGamma", 18446744073709551615u}}, 4.0f, 3.0f, {}},
        // Anything that is not a number: the default.
        {{{"blendCurve", "NaN"}, {"blendGamma", true}}, 1.0f, 1.0f, {}},
        {{{"blendCurve", json::array({2})}, {"blendGamma", {{"value", 2}}}}, 1.0f, 1.0f, {}},
        {{{"blendCurve", nullptr}, {"blendGamma", nullptr}, {"blackLevel", nullptr}},
         1.0f,
         1.0f,
         {}},
        // Black level: per channel; missing or odd channels have no lift.
        {{{"blackLevel", {{"r", 0.05}, {"g", "0.1"}, {"b", 1}}}}, 1.0f, 1.0f, {0.05f, 0, 0.2f}},
        {{{"blackLevel", {{"g", -0.5}, {"r", 0.01}, {"a", 1}}}}, 1.0f, 1.0f, {0.01f, 0, 0}},
        {{{"blackLevel", 0.1}}, 1.0f, 1.0f, {}},
        {{{"blackLevel", json::array({0.1, 0.1, 0.1})}}, 1.0f, 1.0f, {}},
    };
    for (const Case& c : cases) {
        const auto file = readWith(c.extra);
        ASSERT_TRUE(file) << file.error() << " for " << c.extra.dump();
        const OutputConfig& o = file.value().outputs.at(0);
        EXPECT_EQ(o.blendCurve, c.curve) << c.extra.dump();
        EXPECT_EQ(o.blendGamma, c.gamma) << c.extra.dump();
        EXPECT_EQ(o.blackLevel, c.level) << c.extra.dump();
        // The rest of the output is read as it stands.
        EXPECT_EQ(o.blendLeft, 0.15f);
        EXPECT_EQ(o.name, "Right Half");
    }
}

// JSON numbers too large for a double are still numbers: the clamped keys
// take them as the nearest end of their range, at any depth, while a number
// of that size anywhere else fails the load as before.
TEST(BlendCurveFile, NumbersBeyondADoubleClampToTheNearestEnd) {
    const std::string text = json::parse(written(plainOutput())).dump();
    const auto withOutputKeys = [&text](const std::string& keys) {
        const std::string at = "\"name\":\"Right Half\"";
        std::string edited = text;
        edited.replace(edited.find(at), at.size(), at + "," + keys);
        return readProjectFile(edited);
    };
    auto file = withOutputKeys(R"("blendGamma":1e400,"blendCurve":-1E+999,)"
                               R"("blackLevel":{"r":1e400,"g":-0.1e401,"b":1e-400})");
    ASSERT_TRUE(file) << file.error();
    const OutputConfig& o = file.value().outputs.at(0);
    EXPECT_EQ(o.blendGamma, 3.0f);
    EXPECT_EQ(o.blendCurve, 0.5f);
    EXPECT_EQ(o.blackLevel, (BlackLevel{0.2f, 0.0f, 0.0f}));
    EXPECT_EQ(o.blendLeft, 0.15f);

    file = withOutputKeys(R"("blendCurve":[1e400],"blendGamma":12345678901234567890e300)");
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file.value().outputs.at(0).blendCurve, 1.0f);
    EXPECT_EQ(file.value().outputs.at(0).blendGamma, 3.0f);

    // A display that far away is no display: the output is left unplaced.
    file = withOutputKeys(R"("display":{"screen":"A","x":1e400,"y":0,"width":9,"height":9})");
    ASSERT_TRUE(file) << file.error();
    EXPECT_FALSE(file.value().outputs.at(0).display);

    // Elsewhere, known key or not, the text is refused with the number's place.
    for (const char* keys : {R"("blendLeft":1e400)", R"("unknownKey":[1e400])"}) {
        file = withOutputKeys(keys);
        ASSERT_FALSE(file) << keys;
        EXPECT_NE(file.error().find("the number 1e400 is out of range"), std::string::npos)
            << file.error();
    }
}

TEST(BlendCurveFile, DuplicateKeysKeepTheLastEvenWhenItIsOdd) {
    json document = json::parse(written(plainOutput()));
    std::string text = document.dump();
    const std::string at = "\"name\":\"Right Half\"";
    text.replace(text.find(at), at.size(),
                 at + R"(,"blendGamma":2.0,"blendGamma":"x","blendCurve":"x","blendCurve":3)");
    const auto file = readProjectFile(text);
    ASSERT_TRUE(file) << file.error();
    EXPECT_EQ(file.value().outputs.at(0).blendGamma, 1.0f);
    EXPECT_EQ(file.value().outputs.at(0).blendCurve, 3.0f);
}

} // namespace
} // namespace prismeta
