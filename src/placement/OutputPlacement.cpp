#include "placement/OutputPlacement.h"

#include "placement/ScreenMatch.h"

#include <algorithm>
#include <cstdint>

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

bool overlap(const ScreenRect& a, const ScreenRect& b) {
    const auto end = [](int start, int length) { return std::int64_t{start} + length; };
    return !a.empty() && !b.empty() && a.x < end(b.x, b.width) && b.x < end(a.x, a.width) &&
           a.y < end(b.y, b.height) && b.y < end(a.y, a.height);
}

// A screen shows a live picture when an output fills it, or fills a screen
// it overlaps: the window system's screen for a whole desktop (X makes one
// when the monitor of its output is removed) lies over the projectors'.
void markLive(std::vector<bool>& live, std::size_t index, std::span<const Screen> screens) {
    for (std::size_t i = 0; i < screens.size() && i < live.size(); ++i) {
        if (i == index || overlap(screens[i].geometry, screens[index].geometry)) {
            live[i] = true;
        }
    }
}

// Column `index` of `count` equal columns of `area`; the last one takes the
// pixels the division leaves.
ScreenRect nthColumn(const ScreenRect& area, std::size_t index, std::size_t count) {
    const auto n = static_cast<std::int64_t>(count);
    const auto k = static_cast<std::int64_t>(index);
    const std::int64_t width = std::int64_t{area.width} / n;
    const std::int64_t x = std::int64_t{area.x} + width * k;
    const std::int64_t last = std::int64_t{area.x} + area.width - x;
    return ScreenRect{static_cast<int>(x), area.y, static_cast<int>(k + 1 == n ? last : width),
                      area.height};
}

// Gives windows that have no screen of their own here (or no display) the
// screens no other window fills, in order, the fallback screen first.
void standIn(std::vector<OutputPlacement>& placed, std::vector<bool>& live,
             std::span<const Screen> screens, const PlacementRules& rules) {
    std::vector<std::size_t> order;
    if (rules.fallbackScreen && *rules.fallbackScreen < screens.size()) {
        order.push_back(*rules.fallbackScreen);
    }
    for (std::size_t i = 0; i < screens.size(); ++i) {
        if (order.empty() || order.front() != i) {
            order.push_back(i);
        }
    }
    for (OutputPlacement& placement : placed) {
        if (placement.bound && !placement.waiting) {
            continue;
        }
        const auto free =
            std::find_if(order.begin(), order.end(), [&live](std::size_t i) { return !live[i]; });
        if (free == order.end()) {
            return;
        }
        OutputPlacement stood;
        stood.bound = placement.bound;
        stood.standIn = true;
        placement = onScreen(stood, true, *free, screens, rules);
        markLive(live, *free, screens);
    }
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
            markLive(live, placement.screen, screens);
        }
    }
    return live;
}

std::vector<OutputPlacement> placeOutputs(std::span<const std::optional<OutputDisplay>> shown,
                                          std::span<const std::string> claimed,
                                          std::span<const Screen> screens,
                                          const PlacementRules& rules) {
    PlacementRules alone = rules;
    alone.liveScreens.clear();
    std::vector<OutputPlacement> placed;
    placed.reserve(shown.size());
    for (const std::optional<OutputDisplay>& display : shown) {
        placed.push_back(placeOutput(display, claimed, screens, alone));
    }
    if (rules.showMode) {
        const bool standing = rules.standIn;
        std::vector<bool> live(screens.size(), false);
        const auto fill = [&live, &placed, &screens](bool ownScreensOnly) {
            for (const OutputPlacement& placement : placed) {
                if (placement.mode == OutputPlacement::Mode::fullScreen &&
                    placement.screen < live.size() && (placement.bound || !ownScreensOnly)) {
                    markLive(live, placement.screen, screens);
                }
            }
        };
        // Outputs on their own screens first; then, on a follower, those
        // without one take what is left.
        fill(standing);
        if (standing) {
            standIn(placed, live, screens, rules);
            fill(false);
        }
        PlacementRules waiting = rules;
        waiting.liveScreens = std::move(live);
        for (std::size_t i = 0; i < placed.size(); ++i) {
            if (placed[i].waiting) {
                placed[i] = placeOutput(shown[i], claimed, screens, waiting);
            }
        }
    }
    std::vector<std::size_t> sharing(screens.size(), 0);
    const auto besideOthers = [&screens](const OutputPlacement& placement) {
        return placement.waiting && placement.mode == OutputPlacement::Mode::windowed &&
               placement.screen < screens.size();
    };
    for (const OutputPlacement& placement : placed) {
        if (besideOthers(placement)) {
            ++sharing[placement.screen];
        }
    }
    std::vector<std::size_t> next(screens.size(), 0);
    for (OutputPlacement& placement : placed) {
        if (!besideOthers(placement)) {
            continue;
        }
        placement.column = next[placement.screen]++;
        placement.columns = sharing[placement.screen];
        if (placement.columns > 1) {
            placement.rect = centredWindow(
                rules.windowSize, nthColumn(placement.area, placement.column, placement.columns),
                rules.frame);
        }
    }
    return placed;
}

bool needsMove(const OutputPlacement& applied, const OutputPlacement& now) {
    if (now.mode == OutputPlacement::Mode::none) {
        return false;
    }
    return applied.mode != now.mode || applied.screenName != now.screenName ||
           applied.area != now.area ||
           (now.mode == OutputPlacement::Mode::windowed &&
            (applied.column != now.column || applied.columns != now.columns));
}

} // namespace prismeta
