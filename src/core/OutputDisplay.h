#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace prismeta {

// A rectangle on the desktop in the window system's device-independent
// pixels: a screen's area, or a window's.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    // Whether `other` lies wholly inside this rectangle.
    bool contains(const ScreenRect& other) const;

    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Where an output's window goes: the screen it was placed on, by the name
// the window system gives it ("HDMI-1"), that screen's rectangle on the
// desktop when it was placed (to find the screen again should its name
// change), and whether the window fills it. A plain value held by
// OutputConfig and written to the project file only when set.
struct OutputDisplay {
    std::string screen;
    ScreenRect geometry;
    bool fullScreen = true;

    friend bool operator==(const OutputDisplay&, const OutputDisplay&) = default;
};

// Bounds of what any window system reports: a name is a short label and a
// desktop spans far less than a million pixels either way.
inline constexpr std::size_t maxScreenNameBytes = 1024;
inline constexpr int maxDesktopCoordinate = 1'000'000;

// Whether a display can be acted on: a name of 1 to maxScreenNameBytes bytes
// and a non-empty rectangle inside ±maxDesktopCoordinate. Anything else (a
// hand-edited file, a damaged one) leaves an output unplaced.
bool isPlausible(const OutputDisplay& display);

// Whether an output's display is there and plausible: the output's window
// has a screen to go to.
bool isUsable(const std::optional<OutputDisplay>& display);

} // namespace prismeta
