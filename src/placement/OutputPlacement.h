#pragma once

#include "core/OutputDisplay.h"
#include "placement/Screen.h"
#include "placement/WindowFit.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace prismeta {

// How windows are placed: in a show an output with a screen always fills
// it, and an output window with no screen of its own fills the fallback
// screen; in the editor the display's full-screen flag holds and such a
// window opens at windowSize in the middle of the fallback screen.
struct PlacementRules {
    bool showMode = false;
    // Where windows go that have no screen of their own (or whose screen is
    // not connected): the main window's screen in the editor, the primary
    // screen in a show. Absent when there is no screen at all.
    std::optional<std::size_t> fallbackScreen;
    WindowSize windowSize{960, 540};
    FrameMargins frame;
    // In a show, the screens (by index) that other outputs fill (see
    // liveScreens): a window waiting for its own screen never covers them.
    std::vector<bool> liveScreens;
    // A machine that follows a show: its outputs' displays were chosen among
    // the screens it reported, and one it does not have (any longer) is no
    // projector to wait for. placeOutputs gives such an output, and one
    // without a display, a screen of its own instead (see there).
    bool standIn = false;
};

// Where one output window goes for a given list of screens.
struct OutputPlacement {
    enum class Mode {
        fullScreen, // fills screen `screen`; rect is its geometry
        windowed,   // a framed window at rect on screen `screen`
        none,       // no screen at all: leave the window where it is
        hidden,     // waiting in a show while every screen shows an output
    };
    Mode mode = Mode::none;
    std::size_t screen = 0; // index into the screens placed on
    std::string screenName;
    // The screen area the placement was worked out on: its geometry when
    // full screen, its available area when windowed.
    ScreenRect area;
    ScreenRect rect; // the window's client rectangle
    // The output has a usable display, so the window follows its screen as
    // screens come and go.
    bool bound = false;
    // Bound, but its screen is not connected: until it is, a window on the
    // fallback screen, in a show on a screen no other output fills (the
    // fallback first), or hidden when every screen shows one.
    bool waiting = false;
    // Full screen on a screen no other output fills, in place of a screen
    // this machine does not have (PlacementRules::standIn).
    bool standIn = false;
    // Waiting windows that share a screen stand side by side: this one is
    // in column `column` of `columns` of the screen's area.
    std::size_t column = 0;
    std::size_t columns = 1;

    friend bool operator==(const OutputPlacement&, const OutputPlacement&) = default;
};

// Where the window of an output with `display` (absent: not placed, or a
// window for no output) goes among `screens`. `claimed` is what
// claimedScreenNames gives for the project's outputs. A display that is not
// plausible counts as absent.
OutputPlacement placeOutput(const std::optional<OutputDisplay>& display,
                            std::span<const std::string> claimed, std::span<const Screen> screens,
                            const PlacementRules& rules);

// The screens that the windows of `shown` (the other outputs' displays, an
// absent one for a window with none) fill among `screens` under `rules`:
// one flag per screen. A window that is waiting for its screen fills none; a
// screen that overlaps one a window fills counts as filled too.
std::vector<bool> liveScreens(std::span<const std::optional<OutputDisplay>> shown,
                              std::span<const std::string> claimed, std::span<const Screen> screens,
                              const PlacementRules& rules);

// Where each of a set of open output windows goes, `shown` holding their
// outputs' displays in the project's order (absent: not placed, or a window
// for no output). Each is placed as placeOutput places it, and together:
// - in a show, a waiting window never covers a screen another window fills
//   (rules.liveScreens is worked out here);
// - with rules.standIn, a window whose screen is not among `screens`, or
//   that has no display, fills a screen that no other window fills, in
//   order, the fallback screen first and then the others in their order;
//   only once every screen is filled does such a window wait (or, without a
//   display, fill the fallback screen as it would alone);
// - waiting windows that go to the same screen stand side by side, in
//   order, each centred in its column of the screen's area.
std::vector<OutputPlacement> placeOutputs(std::span<const std::optional<OutputDisplay>> shown,
                                          std::span<const std::string> claimed,
                                          std::span<const Screen> screens,
                                          const PlacementRules& rules);

// Whether a window placed at `applied` must move now that `now` is where it
// belongs: another mode or screen, its screen's area changed, or another
// column among the windows waiting there. A windowed window the user moved
// about on its own screen is left there.
bool needsMove(const OutputPlacement& applied, const OutputPlacement& now);

} // namespace prismeta
