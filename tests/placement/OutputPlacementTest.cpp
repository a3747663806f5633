#include "placement/OutputPlacement.h"

#include <gtest/gtest.h>

#include <vector>

namespace prismeta {
namespace {

using Mode = OutputPlacement::Mode;

// The operator's screen with a panel along its top, and two projectors.
const Screen desk{"eDP-1", {0, 0, 1920, 1200}, {0, 32, 1920, 1168}};
const Screen left{"HDMI-1", {1920, 0, 1280, 720}, {1920, 0, 1280, 720}};
const Screen right{"DP-1", {3200, 0, 1280, 720}, {3200, 0, 1280, 720}};

OutputDisplay on(const Screen& screen, bool fullScreen = true) {
    return OutputDisplay{screen.name, screen.geometry, fullScreen};
}

PlacementRules editorRules(std::size_t fallback = 0) {
    PlacementRules rules;
    rules.fallbackScreen = fallback;
    rules.frame = FrameMargins{1, 28, 1, 1};
    return rules;
}

PlacementRules showRules(std::size_t fallback = 0) {
    PlacementRules rules = editorRules(fallback);
    rules.showMode = true;
    return rules;
}

TEST(PlaceOutput, InTheEditorTheFlagSaysFullScreenOrAWindowOnTheScreen) {
    const std::vector<Screen> screens = {desk, left, right};
    const OutputPlacement full = placeOutput(on(right), {}, screens, editorRules());
    EXPECT_EQ(full.mode, Mode::fullScreen);
    EXPECT_EQ(full.screen, 2u);
    EXPECT_EQ(full.screenName, "DP-1");
    EXPECT_EQ(full.rect, right.geometry);
    EXPECT_TRUE(full.bound);
    EXPECT_FALSE(full.waiting);

    const OutputPlacement windowed = placeOutput(on(left, false), {}, screens, editorRules());
    EXPECT_EQ(windowed.mode, Mode::windowed);
    EXPECT_EQ(windowed.screenName, "HDMI-1");
    EXPECT_EQ(windowed.rect, centredWindow({960, 540}, left.available, {1, 28, 1, 1}));
    EXPECT_TRUE(left.geometry.contains(windowed.rect));
}

TEST(PlaceOutput, AnUnplacedWindowOpensWhollyOnTheFallbackScreen) {
    // The main window is on the second screen: new windows open there, in
    // its available area (below the panel), never across a screen edge.
    const std::vector<Screen> screens = {desk, left};
    const OutputPlacement placement = placeOutput(std::nullopt, {}, screens, editorRules(1));
    EXPECT_EQ(placement.mode, Mode::windowed);
    EXPECT_EQ(placement.screenName, "HDMI-1");
    EXPECT_FALSE(placement.bound);
    const ScreenRect& r = placement.rect;
    EXPECT_TRUE(left.available.contains({r.x - 1, r.y - 28, r.width + 2, r.height + 29}));

    const OutputPlacement onDesk = placeOutput(std::nullopt, {}, screens, editorRules(0));
    EXPECT_GE(onDesk.rect.y - 28, 32); // below the panel

    // In a show the same window fills the fallback screen.
    const OutputPlacement shown = placeOutput(std::nullopt, {}, screens, showRules(0));
    EXPECT_EQ(shown.mode, Mode::fullScreen);
    EXPECT_EQ(shown.rect, desk.geometry);

    // No screens, or a fallback index past the list: nowhere to put it.
    EXPECT_EQ(placeOutput(std::nullopt, {}, {}, editorRules(0)).mode, Mode::none);
    EXPECT_EQ(placeOutput(on(left), {}, screens, editorRules(7)).mode, Mode::fullScreen);
    EXPECT_EQ(placeOutput(on(right), {}, screens, editorRules(7)).mode, Mode::none);
}

TEST(PlaceOutput, AShowFillsEveryScreenAndParksOutputsWhoseScreenIsAbsent) {
    const std::vector<Screen> screens = {desk, left};
    // The flag asks for a window; a show fills the screen all the same.
    const OutputPlacement shown = placeOutput(on(left, false), {}, screens, showRules());
    EXPECT_EQ(shown.mode, Mode::fullScreen);
    EXPECT_EQ(shown.rect, left.geometry);

    // The right projector is off: a window on the fallback screen, waiting.
    const OutputPlacement parked = placeOutput(on(right), {}, screens, showRules());
    EXPECT_EQ(parked.mode, Mode::windowed);
    EXPECT_EQ(parked.screenName, "eDP-1");
    EXPECT_TRUE(parked.bound);
    EXPECT_TRUE(parked.waiting);

    // An implausible display counts as none: in a show, the fallback filled.
    OutputDisplay broken = on(right);
    broken.geometry.width = 0;
    const OutputPlacement unplaced = placeOutput(broken, {}, screens, showRules());
    EXPECT_FALSE(unplaced.bound);
    EXPECT_EQ(unplaced.mode, Mode::fullScreen);
    EXPECT_EQ(unplaced.screenName, "eDP-1");
}

TEST(PlaceOutput, InAShowAWaitingWindowNeverCoversAnotherOutput) {
    // Two projectors, the right one unplugged: the left output fills its
    // screen, so the right one's window waits on the desk screen, which no
    // output shows.
    const std::vector<Screen> deskAndLeft = {desk, left};
    const std::vector<std::optional<OutputDisplay>> leftOnly = {on(left)};
    PlacementRules rules = showRules(1); // the primary screen is the left projector
    rules.liveScreens = liveScreens(leftOnly, {}, deskAndLeft, rules);
    EXPECT_EQ(rules.liveScreens, (std::vector<bool>{false, true}));
    const OutputPlacement waits = placeOutput(on(right), {}, deskAndLeft, rules);
    EXPECT_EQ(waits.mode, Mode::windowed);
    EXPECT_EQ(waits.screenName, "eDP-1");
    EXPECT_TRUE(waits.waiting);

    // Only projectors, each showing an output: hidden until its screen is back.
    const std::vector<Screen> projectors = {left};
    rules = showRules(0);
    rules.liveScreens = liveScreens(leftOnly, {}, projectors, rules);
    const OutputPlacement hidden = placeOutput(on(right), {}, projectors, rules);
    EXPECT_EQ(hidden.mode, Mode::hidden);
    EXPECT_TRUE(hidden.waiting);
    // A window with no display of its own fills the fallback screen: live too.
    const std::vector<std::optional<OutputDisplay>> unplaced = {std::nullopt};
    EXPECT_EQ(liveScreens(unplaced, {}, deskAndLeft, showRules(0)),
              (std::vector<bool>{true, false}));
    // A waiting window fills nothing.
    const std::vector<std::optional<OutputDisplay>> alsoWaiting = {on(right)};
    EXPECT_EQ(liveScreens(alsoWaiting, {}, projectors, showRules(0)), (std::vector<bool>{false}));

    // When the screen is back, full screen on it again; needsMove says so.
    const std::vector<Screen> back = {left, right};
    const OutputPlacement returned = placeOutput(on(right), {}, back, rules);
    EXPECT_EQ(returned.mode, Mode::fullScreen);
    EXPECT_EQ(returned.screenName, "DP-1");
    EXPECT_TRUE(needsMove(hidden, returned));
    EXPECT_FALSE(needsMove(hidden, hidden));

    // The editor keeps its waiting window on the fallback screen.
    PlacementRules editor = editorRules(0);
    editor.liveScreens = {true};
    EXPECT_EQ(placeOutput(on(right), {}, projectors, editor).mode, Mode::windowed);
}

// A projector switched off and on again during a show, and one switched on
// late: each window moves exactly when its own screen comes or goes.
TEST(PlaceOutput, HotPlugMovesOnlyTheWindowsWhoseScreenCameOrWent) {
    const OutputDisplay leftDisplay = on(left);
    const OutputDisplay rightDisplay = on(right);
    const std::vector<std::string> claimed = {"HDMI-1", "DP-1"};
    const auto place = [&](const OutputDisplay& display, const std::vector<Screen>& screens) {
        return placeOutput(display, claimed, screens, showRules());
    };

    // At start the right projector is still off.
    std::vector<Screen> screens = {desk, left};
    OutputPlacement leftApplied = place(leftDisplay, screens);
    OutputPlacement rightApplied = place(rightDisplay, screens);
    EXPECT_EQ(leftApplied.mode, Mode::fullScreen);
    EXPECT_TRUE(rightApplied.waiting);

    // It comes on: the right window moves there full screen, the left stays.
    screens = {desk, left, right};
    OutputPlacement leftNow = place(leftDisplay, screens);
    OutputPlacement rightNow = place(rightDisplay, screens);
    EXPECT_FALSE(needsMove(leftApplied, leftNow));
    ASSERT_TRUE(needsMove(rightApplied, rightNow));
    EXPECT_EQ(rightNow.mode, Mode::fullScreen);
    EXPECT_EQ(rightNow.screen, 2u);
    EXPECT_EQ(rightNow.rect, right.geometry);
    leftApplied = leftNow;
    rightApplied = rightNow;

    // The left one goes away: its window parks on the remaining screens.
    screens = {desk, right};
    leftNow = place(leftDisplay, screens);
    rightNow = place(rightDisplay, screens);
    ASSERT_TRUE(needsMove(leftApplied, leftNow));
    EXPECT_EQ(leftNow.mode, Mode::windowed);
    EXPECT_EQ(leftNow.screenName, "eDP-1");
    // The right window stays, though its index in the list changed.
    EXPECT_EQ(rightNow.screen, 1u);
    EXPECT_FALSE(needsMove(rightApplied, rightNow));
    leftApplied = leftNow;

    // It comes back at another resolution: full screen on it again.
    Screen smaller = left;
    smaller.geometry = smaller.available = {1920, 0, 1024, 768};
    screens = {desk, right, smaller};
    leftNow = place(leftDisplay, screens);
    ASSERT_TRUE(needsMove(leftApplied, leftNow));
    EXPECT_EQ(leftNow.mode, Mode::fullScreen);
    EXPECT_EQ(leftNow.rect, smaller.geometry);
    leftApplied = leftNow;

    // Its resolution changes while it shows: the window follows.
    smaller.geometry = smaller.available = {1920, 0, 1280, 720};
    screens = {desk, right, smaller};
    EXPECT_TRUE(needsMove(leftApplied, place(leftDisplay, screens)));

    // With no screen at all nothing moves.
    EXPECT_FALSE(needsMove(leftApplied, place(leftDisplay, {})));
}

TEST(PlaceOutputs, WaitingWindowsSharingAScreenStandSideBySide) {
    // One screen, no output on it: both projectors are off, and their
    // windows wait there beside each other, in order, each wholly inside
    // its half of the desk.
    const std::vector<Screen> screens = {desk};
    const std::vector<std::optional<OutputDisplay>> shown = {on(left), on(right)};
    for (const PlacementRules& rules : {showRules(), editorRules()}) {
        const std::vector<OutputPlacement> placed = placeOutputs(shown, {}, screens, rules);
        ASSERT_EQ(placed.size(), 2u);
        const ScreenRect& a = placed[0].rect;
        const ScreenRect& b = placed[1].rect;
        EXPECT_TRUE(placed[0].waiting && placed[1].waiting);
        EXPECT_LE(a.x + a.width + 1, b.x - 1); // frames apart, left to right
        EXPECT_TRUE(desk.available.contains({a.x - 1, a.y - 28, a.width + 2, a.height + 29}));
        EXPECT_TRUE(desk.available.contains({b.x - 1, b.y - 28, b.width + 2, b.height + 29}));
    }

    // One comes back: the other is alone again, centred, and must move.
    const std::vector<Screen> withRight = {desk, right};
    const std::vector<OutputPlacement> before = placeOutputs(shown, {}, screens, showRules());
    const std::vector<OutputPlacement> after = placeOutputs(shown, {}, withRight, showRules());
    EXPECT_EQ(after[1].mode, Mode::fullScreen);
    EXPECT_EQ(after[0].rect, placeOutput(on(left), {}, withRight, showRules()).rect);
    EXPECT_TRUE(needsMove(before[0], after[0]));
}

TEST(PlaceOutputs, AFollowerFillsItsOwnScreensWithOutputsWhoseScreensItLacks) {
    // The leader chose HDMI-1 and DP-1 for this machine's three outputs;
    // it has the desk screen and DP-1. DP-1's output fills DP-1; the
    // others take what is left in order, the primary first: the first one
    // the desk, the last waits (hidden: every screen shows an output).
    const std::vector<Screen> screens = {desk, right};
    const std::vector<std::optional<OutputDisplay>> shown = {on(left), on(right), on(left)};
    PlacementRules rules = showRules(0);
    rules.standIn = true;
    std::vector<OutputPlacement> placed = placeOutputs(shown, {}, screens, rules);
    EXPECT_EQ(placed[0].mode, Mode::fullScreen);
    EXPECT_EQ(placed[0].screenName, "eDP-1");
    EXPECT_TRUE(placed[0].standIn && placed[0].bound && !placed[0].waiting);
    EXPECT_EQ(placed[1].screenName, "DP-1");
    EXPECT_FALSE(placed[1].standIn);
    EXPECT_EQ(placed[2].mode, Mode::hidden);
    EXPECT_TRUE(placed[2].waiting);

    // An output without a display stands in as well; the primary screen
    // being the projector, the desk comes after it.
    const std::vector<std::optional<OutputDisplay>> unplaced = {std::nullopt, on(left)};
    rules.fallbackScreen = 1;
    placed = placeOutputs(unplaced, {}, screens, rules);
    EXPECT_EQ(placed[0].screenName, "DP-1");
    EXPECT_EQ(placed[1].screenName, "eDP-1");
    EXPECT_EQ(placed[1].mode, Mode::fullScreen);

    // The named screen appears: the output goes there.
    const std::vector<Screen> all = {desk, left, right};
    placed = placeOutputs(shown, {}, all, rules);
    EXPECT_EQ(placed[0].screenName, "HDMI-1");
    EXPECT_FALSE(placed[0].standIn);
}

TEST(NeedsMove, AWindowMovedAboutOnItsOwnScreenStaysWhereTheUserPutIt) {
    const std::vector<Screen> screens = {desk, left};
    OutputPlacement applied = placeOutput(on(left, false), {}, screens, editorRules());
    // Another frame size (the main window hidden, a new theme) alone is no
    // reason to move a window.
    PlacementRules rules = editorRules();
    rules.frame = FrameMargins{};
    EXPECT_FALSE(needsMove(applied, placeOutput(on(left, false), {}, screens, rules)));
    // Full screen asked for from the inspector: it moves.
    EXPECT_TRUE(needsMove(applied, placeOutput(on(left, true), {}, screens, rules)));
}

} // namespace
} // namespace prismeta
