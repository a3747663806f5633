#pragma once

#include "core/OutputDisplay.h"

#include <string>

namespace prismeta {

// One screen as the window system reports it: its name ("HDMI-1"), its
// rectangle on the desktop and the part of it that ordinary windows may use
// (less panels and docks). The interface turns its screen list into these so
// that deciding where windows go needs no window system.
struct Screen {
    std::string name;
    ScreenRect geometry;
    ScreenRect available;

    friend bool operator==(const Screen&, const Screen&) = default;
};

} // namespace prismeta
