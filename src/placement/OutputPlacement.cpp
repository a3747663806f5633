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
    if (!rules.showMode || !placement.waiting) {
        return onScreen(placement, fullScreen, *rules.fallbackScreen, screens, rules);
    }
    // In a show the audience must never see it over another output's
    // picture: it waits on a screen no output fills, or out of sight.
    const auto live = [&rules](std::size_t index) {
        return index < rules.liveScreens.size() && rules.liveScreens[index];
    };
    if (!live(*rules.fallbackScreen)) {
        return onScreen(placement, false, *rules.fallbackScreen, screens, rules);
    }
    for (std::size_t index = 0; index < screens.size(); ++index) {
        if (!live(index)) {
            return onScreen(placement, false, index, screens, rules);
        }
    }
    placement.mode = OutputPlacement::Mode::hidden;
    return placement;
}

std::vector<bool> liveScreens(std::span<const std::optional<OutputDisplay>> shown,
                              std::span<const std::string> claimed, std::span<const Screen> screens,
                              const PlacementRules& rules) {
    std::vector<bool> live(screens.size(), false);
    PlacementRules plain = rules;
    plain.liveScreens.clear();
    for (const std::optional<OutputDisplay>& display : shown) {
        const OutputPlacement placement = placeOutput(display, claimed, screens, plain);
        if (placement.mode == OutputPlacement::Mode::fullScreen && placement.screen < live.size()) {
            live[placement.screen] = true;
        }
    }
    return live;
}

bool needsMove(const OutputPlacement& applied, const OutputPlacement& now) {
    if (now.mode == OutputPlacement::Mode::none) {
        return false;
    }
    return applied.mode != now.mode || applied.screenName != now.screenName ||
           applied.area != now.area;
}

} // namespace prismeta
