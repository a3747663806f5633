#include "placement/ScreenMatch.h"

#include <algorithm>

namespace prismeta {

std::optional<ScreenMatch> findScreen(const OutputDisplay& display, std::span<const Screen> screens,
                                      std::span<const std::string> claimed) {
    std::optional<std::size_t> named;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].name != display.screen) {
            continue;
        }
        // Two screens may share a name (several X screens are all "screen");
        // the recorded geometry tells them apart.
        if (screens[i].geometry == display.geometry) {
            return ScreenMatch{i, ScreenMatchKind::name};
        }
        if (!named) {
            named = i;
        }
    }
    if (named) {
        return ScreenMatch{*named, ScreenMatchKind::name};
    }
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const bool claimedElsewhere =
            std::find(claimed.begin(), claimed.end(), screens[i].name) != claimed.end();
        if (screens[i].geometry == display.geometry && !claimedElsewhere) {
            return ScreenMatch{i, ScreenMatchKind::geometry};
        }
    }
    return std::nullopt;
}

std::vector<std::string> claimedScreenNames(const std::vector<OutputConfig>& outputs) {
    std::vector<std::string> names;
    for (const OutputConfig& output : outputs) {
        if (isUsable(output.display)) {
            names.push_back(output.display->screen);
        }
    }
    return names;
}

} // namespace prismeta
