#pragma once

#include "core/OutputDisplay.h"

namespace prismeta {

struct WindowSize {
    int width = 0;
    int height = 0;
};

// What the window system's frame (title bar, borders) adds around a
// window's client area.
struct FrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const FrameMargins&, const FrameMargins&) = default;
};

// The client rectangle of a window that would like `size`, placed with its
// frame wholly inside `area` and centred there. A window too large for the
// area is shrunk with its aspect ratio kept; the result is at least 1 x 1,
// and on an area smaller than the frame itself it is the area's first pixel
// past the frame's top-left corner.
ScreenRect centredWindow(WindowSize size, const ScreenRect& area, FrameMargins frame);

} // namespace prismeta
