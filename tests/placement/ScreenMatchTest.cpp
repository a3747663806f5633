#include "placement/ScreenMatch.h"
#include "placement/ShowWindows.h"

#include <gtest/gtest.h>

#include <vector>

namespace prismeta {
namespace {

Screen screen(const char* name, int x, int y, int width = 1920, int height = 1080) {
    return Screen{name, {x, y, width, height}, {x, y, width, height}};
}

OutputDisplay display(const char* name, ScreenRect geometry) {
    return OutputDisplay{name, geometry, true};
}

TEST(FindScreen, TheNameWinsOverTheGeometry) {
    // The projector moved on the desktop (another screen was added to its
    // left): found by name, wherever it is now.
    const std::vector<Screen> screens = {screen("eDP-1", 0, 0), screen("HDMI-1", 3840, 0),
                                         screen("DP-1", 1920, 0)};
    const auto match = findScreen(display("HDMI-1", {1920, 0, 1920, 1080}), screens);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->index, 1u);
    EXPECT_EQ(match->kind, ScreenMatchKind::name);
}

TEST(FindScreen, OfScreensSharingANameTheOneWithTheGeometry) {
    const std::vector<Screen> screens = {screen("screen", 0, 0), screen("screen", 1920, 0)};
    EXPECT_EQ(findScreen(display("screen", {1920, 0, 1920, 1080}), screens)->index, 1u);
    // No geometry matches: the first of the name.
    EXPECT_EQ(findScreen(display("screen", {0, 1080, 800, 600}), screens)->index, 0u);
}

TEST(FindScreen, ARenamedScreenIsFoundByItsGeometryUnlessAnotherOutputClaimsIt) {
    // A driver update renamed HDMI-1 to HDMI-A-0; the desktop is as it was.
    const std::vector<Screen> screens = {screen("eDP-1", 0, 0), screen("HDMI-A-0", 1920, 0)};
    const OutputDisplay renamed = display("HDMI-1", {1920, 0, 1920, 1080});
    const auto match = findScreen(renamed, screens);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->index, 1u);
    EXPECT_EQ(match->kind, ScreenMatchKind::geometry);

    // The screen at that place is another output's projector: not taken.
    const std::vector<std::string> claimed = {"HDMI-1", "HDMI-A-0"};
    EXPECT_FALSE(findScreen(renamed, screens, claimed));

    // Neither name nor geometry: not connected.
    EXPECT_FALSE(findScreen(display("DP-3", {5000, 0, 1280, 720}), screens));
    EXPECT_FALSE(findScreen(renamed, {}));
}

TEST(ClaimedScreenNames, OnlyUsableDisplaysInListOrder) {
    std::vector<OutputConfig> outputs(4);
    outputs[0].display = display("B", {0, 0, 10, 10});
    outputs[2].display = display("A", {0, 0, 10, 10});
    outputs[3].display = display("C", {0, 0, 0, 10}); // no size: unusable
    EXPECT_EQ(claimedScreenNames(outputs), (std::vector<std::string>{"B", "A"}));
}

TEST(ShowWindows, PlacedOutputsInOrderElseTheFirstElseTheWholeCanvas) {
    std::vector<OutputConfig> outputs(4);
    outputs[1].display = display("B", {0, 0, 10, 10});
    outputs[3].display = display("A", {0, 0, 10, 10});
    outputs[0].display = display("", {0, 0, 10, 10}); // no name: unusable
    EXPECT_EQ(showWindows(outputs),
              (std::vector<std::optional<Uuid>>{outputs[1].id, outputs[3].id}));

    // A hand-made file repeating an id opens its window once.
    outputs.push_back(outputs[1]);
    EXPECT_EQ(showWindows(outputs).size(), 2u);

    for (OutputConfig& output : outputs) {
        output.display.reset();
    }
    EXPECT_EQ(showWindows(outputs), (std::vector<std::optional<Uuid>>{outputs[0].id}));
    EXPECT_EQ(showWindows({}), (std::vector<std::optional<Uuid>>{std::nullopt}));
}

TEST(OutputDisplay, PlausibleOnlyWithANameAndASaneRectangle) {
    EXPECT_TRUE(isPlausible(display("HDMI-1", {-1920, -1080, 1920, 1080})));
    EXPECT_FALSE(isPlausible(display("", {0, 0, 1920, 1080})));
    EXPECT_FALSE(isPlausible(display("HDMI-1", {0, 0, 0, 1080})));
    EXPECT_FALSE(isPlausible(display("HDMI-1", {0, 0, 1920, -1})));
    EXPECT_FALSE(isPlausible(display("HDMI-1", {2'000'000'000, 0, 1920, 1080})));
    EXPECT_FALSE(isPlausible(display("HDMI-1", {0, 0, 1920, 2'000'000})));
    EXPECT_FALSE(isPlausible(OutputDisplay{std::string(2000, 'x'), {0, 0, 1, 1}, true}));

    // Containment is computed without overflowing.
    const ScreenRect huge{2'000'000'000, 0, 2'000'000'000, 10};
    EXPECT_FALSE(huge.contains({2'000'000'000, 0, 2'100'000'000, 10}));
    EXPECT_TRUE(huge.contains(huge));
}

} // namespace
} // namespace prismeta
