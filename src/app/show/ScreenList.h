#pragma once

#include "core/OutputDisplay.h"
#include "placement/Screen.h"

#include <QRect>

#include <cstddef>
#include <optional>
#include <vector>

class QScreen;

namespace prismeta {

// The screens connected now, in Qt's order, as the placement logic sees
// them, with the QScreen behind each so that a decision taken on the list
// can be carried out.
//
// Interface thread only; a snapshot, valid until the next screen change.
struct ScreenList {
    std::vector<Screen> screens;
    std::vector<QScreen*> handles;

    static ScreenList current();
    std::optional<std::size_t> indexOf(const QScreen* screen) const;
};

ScreenRect toScreenRect(const QRect& rect);
QRect toQRect(const ScreenRect& rect);
Screen toScreen(const QScreen& screen);

// What an output remembers of a window placed on `screen`.
OutputDisplay displayOn(const QScreen& screen, bool fullScreen);

} // namespace prismeta
