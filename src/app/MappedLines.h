#pragma once

#include "geometry/PictureMapping.h"

#include <QPainterPath>
#include <QPointF>

#include <optional>

namespace prismeta {

// Adds to path the straight line of a picture from `from` to `to` (picture
// coordinates, 0..1) as the map bends it, in `steps` straight pieces, each
// point placed in the widget by toWidget(Pt). A point the map cannot place
// breaks the line there; it goes on from the next one it can.
template <typename ToWidget>
void addMappedLine(QPainterPath& path, const PictureMap& map, Pt from, Pt to, int steps,
                   ToWidget&& toWidget) {
    bool started = false;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const std::optional<Pt> p = map(Pt{static_cast<float>(from.x + (to.x - from.x) * t),
                                           static_cast<float>(from.y + (to.y - from.y) * t)});
        if (!p) {
            started = false;
            continue;
        }
        const QPointF at = toWidget(*p);
        if (started) {
            path.lineTo(at);
        } else {
            path.moveTo(at);
            started = true;
        }
    }
}

} // namespace prismeta
