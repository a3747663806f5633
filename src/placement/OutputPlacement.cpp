#include "placement/OutputPlacement.h"

#include "placement/ScreenMatch.h"

namespace prismeta {

namespace {

OutputPlacement onScreen(OutputPlacement placement, bool fullScreen, std::size_t index,
                         std::span<const Screen> screens, const PlacementRules& rules) {
    const Screen& screen = screens[index];
    placement.screen = index;
    placement.screenName = screen.name;
    if (fullScreen) {
        placement.mode = OutputPlacement::Mode::fullScreen;
        placement.area = screen.geometry;
        placement.rect = screen.geometry;
    } else {
        // Some platforms report no available area; the whole screen serves.
        const ScreenRect& area = screen.available.empty() ? screen.geometry : screen.available;
        placement.mode = OutputPlacement::Mode::windowed;
        placement.area = area;
        placement.rect = centredWindow(rules.windowSize, area, rules.frame);
    }
    return placement;
}

} // namespace

OutputPlacement placeOutput(const std::optional<OutputDisplay>& display,
                            std::span<const std::string> claimed, std::span<const Screen> screens,
                            const PlacementRules& rules) {
    OutputPlacement placement;
    if (isUsable(display)) {
        placement.bound = true;
        if (const std::optional<ScreenMatch> match = findScreen(*display, screens, claimed)) {
            return onScreen(placement, rules.showMode || display->fullScreen, match->index, screens,
                            rules);
        }
        placement.waiting = true;
    }
    if (!rules.fallbackScreen || *rules.fallbackScreen >= screens.size()) {
        return placement;
    }
    // A show with no screen for a window still shows it, full screen; a
    // window waiting for its projector stays a window beside the others.
    const bool fullScreen = rules.showMode && !placement.waiting;
    return onScreen(placement, fullScreen, *rules.fallbackScreen, screens, rules);
}

bool needsMove(const OutputPlacement& applied, const OutputPlacement& now) {
    if (now.mode == OutputPlacement::Mode::none) {
        return false;
    }
    return applied.mode != now.mode || applied.screenName != now.screenName ||
           applied.area != now.area;
}

} // namespace prismeta
