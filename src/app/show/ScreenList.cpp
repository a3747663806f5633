#include "app/show/ScreenList.h"

#include <QGuiApplication>
#include <QScreen>

namespace prismeta {

namespace {

// Some platforms leave screens unnamed; a name made from the screen's place
// keeps such a screen recognisable (by that name and by its geometry).
std::string screenName(const QScreen& screen) {
    if (!screen.name().isEmpty()) {
        return screen.name().toStdString();
    }
    const QRect geometry = screen.geometry();
    return QStringLiteral("Screen at %1,%2").arg(geometry.x()).arg(geometry.y()).toStdString();
}

} // namespace

ScreenList ScreenList::current() {
    ScreenList list;
    for (QScreen* screen : QGuiApplication::screens()) {
        list.screens.push_back(toScreen(*screen));
        list.handles.push_back(screen);
    }
    return list;
}

std::optional<std::size_t> ScreenList::indexOf(const QScreen* screen) const {
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (handles[i] == screen) {
            return i;
        }
    }
    return std::nullopt;
}

ScreenRect toScreenRect(const QRect& rect) {
    return ScreenRect{rect.x(), rect.y(), rect.width(), rect.height()};
}

QRect toQRect(const ScreenRect& rect) {
    return QRect(rect.x, rect.y, rect.width, rect.height);
}

Screen toScreen(const QScreen& screen) {
    return Screen{screenName(screen), toScreenRect(screen.geometry()),
                  toScreenRect(screen.availableGeometry())};
}

OutputDisplay displayOn(const QScreen& screen, bool fullScreen) {
    return OutputDisplay{screenName(screen), toScreenRect(screen.geometry()), fullScreen};
}

} // namespace prismeta
