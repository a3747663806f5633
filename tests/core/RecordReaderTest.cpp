// The streaming reader's ways of adding a key to a record, on records of the
// test's own: optional numbers with a default, and values read leniently.
#include "core/RecordFields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prismeta {
namespace {

using nlohmann::json;

struct Placement {
    std::string screen;
    int width = 0;
    bool placed = false;
};

struct Lamp {
    double level = 0.0;
    float gamma = 2.2f;
    Placement placement;
};

struct Rig {
    std::vector<Lamp> lamps;
    std::string after; // read after a lenient key, to see the reader resume
};

// Reads a placement the way an output's screen placement would be: anything
// unusable means "not placed".
void applyPlacement(Lamp& lamp, const json& value) {
    lamp.placement = {};
    if (!value.is_object()) {
        return;
    }
    const int width = value.at("width").get<int>(); // throws on a wrong type
    if (width < 1 || width > 65535) {
        return;
    }
    lamp.placement = {value.at("screen").get<std::string>(), width, true};
}

} // namespace

namespace reading {
template <> struct Schema<Lamp> {
    static constexpr std::array fields{
        number<&Lamp::level>("level"),
        number<&Lamp::gamma>("gamma", Presence::optional),
        lenient<Lamp, applyPlacement>("placement"),
    };
};
template <> struct Schema<Rig> {
    static constexpr std::array fields{list<&Rig::lamps>("lamps"),
                                       text<&Rig::after>("after", Presence::optional)};
};
} // namespace reading

namespace {

Result<Rig> readRig(const std::string& lamps) {
    return reading::readRecordDocument<Rig>(R"({"lamps": [)" + lamps + R"(], "after": "end"})");
}

TEST(RecordReader, AnOptionalNumberKeepsItsDefaultUnlessSet) {
    const auto rig = readRig(R"({"level": 1}, {"level": 1, "gamma": 1.8},
                                {"level": 1, "gamma": 1.8, "gamma": null})");
    ASSERT_TRUE(rig) << rig.error();
    EXPECT_EQ(rig->lamps[0].gamma, 2.2f);
    EXPECT_EQ(rig->lamps[1].gamma, 1.8f);
    EXPECT_EQ(rig->lamps[2].gamma, 2.2f);

    EXPECT_EQ(readRig(R"({"level": 1}, {"level": 1, "gamma": "high"})").error(),
              "lamps[1].gamma: expected a number, found a string");
    EXPECT_EQ(readRig(R"({"level": 1, "gamma": 1e39})").error(),
              "lamps[0].gamma: 1e+39 is outside the 32-bit float range");
    EXPECT_EQ(readRig(R"({"gamma": 1})").error(), "lamps[0]: missing required key \"level\"");
}

TEST(RecordReader, ALenientValueNeverFailsTheRead) {
    struct Case {
        const char* placement;
        bool placed;
    };
    const std::string deep = R"({"screen": "HDMI-1", "width": 1920, "x": )" + std::string(20, '[') +
                             std::string(20, ']') + "}";
    std::string wide = "{";
    for (int i = 0; i < 300; ++i) {
        wide += "\"k" + std::to_string(i) + "\": " + std::to_string(i) + ", ";
    }
    wide += R"("screen": "HDMI-1", "width": 1920})";
    const std::string longName = R"({"screen": ")" + std::string(5000, 'n') + R"(", "width": 1})";
    const Case cases[] = {
        {R"({"screen": "HDMI-1", "width": 1920})", true},
        {R"({"screen": "HDMI-1", "width": 1920, "extra": [1, {"a": null}]})", true},
        {R"({"screen": "HDMI-1", "width": "1920"})", false}, // the accessor throws
        {R"({"screen": "HDMI-1", "width": 70000})", false},
        {R"({"screen": "HDMI-1"})", false},
        {R"(7)", false},
        {R"("HDMI-1")", false},
        {R"([{"screen": "HDMI-1", "width": 1920}])", false},
        {R"(null)", false},
        {R"({"screen": "HDMI-1", "width": 1920}, "placement": 3)", false},
        {R"(3, "placement": {"screen": "HDMI-1", "width": 1920})", true},
        {R"({"screen": "HDMI-1", "width": 1920}, "placement": null)", false},
        {deep.c_str(), false},     // deeper than a lenient key may go
        {wide.c_str(), false},     // more values than a lenient key may hold
        {longName.c_str(), false}, // more text than a lenient key may hold
    };
    for (const Case& c : cases) {
        const auto rig = readRig(R"({"level": 1, "placement": )" + std::string(c.placement) +
                                 R"(, "gamma": 0.5}, {"level": 2})");
        ASSERT_TRUE(rig) << c.placement << ": " << rig.error();
        ASSERT_EQ(rig->lamps.size(), 2u);
        EXPECT_EQ(rig->lamps[0].placement.placed, c.placed) << c.placement;
        // The keys after it, in the record and beyond, are read as usual.
        EXPECT_EQ(rig->lamps[0].gamma, 0.5f) << c.placement;
        EXPECT_EQ(rig->lamps[1].level, 2.0) << c.placement;
        EXPECT_EQ(rig->after, "end") << c.placement;
    }
    const auto placed = readRig(R"({"level": 1, "placement": {"screen": "DP-2", "width": 800}})");
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->lamps[0].placement.screen, "DP-2");
    EXPECT_EQ(placed->lamps[0].placement.width, 800);
}

} // namespace
} // namespace prismeta
