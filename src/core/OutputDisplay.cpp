#include "core/OutputDisplay.h"

#include <cstdint>

namespace prismeta {

bool ScreenRect::contains(const ScreenRect& other) const {
    // In 64 bits: x + width may pass the int range for absurd values.
    const auto right = [](const ScreenRect& r) { return std::int64_t{r.x} + r.width; };
    const auto bottom = [](const ScreenRect& r) { return std::int64_t{r.y} + r.height; };
    return other.x >= x && other.y >= y && right(other) <= right(*this) &&
           bottom(other) <= bottom(*this);
}

bool isPlausible(const OutputDisplay& display) {
    const ScreenRect& g = display.geometry;
    const auto within = [](int value, int low) {
        return value >= low && value <= maxDesktopCoordinate;
    };
    return !display.screen.empty() && display.screen.size() <= maxScreenNameBytes &&
           within(g.x, -maxDesktopCoordinate) && within(g.y, -maxDesktopCoordinate) &&
           within(g.width, 1) && within(g.height, 1);
}

bool isUsable(const std::optional<OutputDisplay>& display) {
    return display && isPlausible(*display);
}

} // namespace prismeta
