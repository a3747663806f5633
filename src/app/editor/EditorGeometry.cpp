#include "app/editor/EditorGeometry.h"

#include <cmath>

namespace prismeta {

ViewPoint canvasToView(const ViewRect& fit, Pt p) {
    return ViewPoint{fit.x + fit.width * static_cast<double>(p.x),
                     fit.y + fit.height * static_cast<double>(p.y)};
}

Pt viewToCanvas(const ViewRect& fit, ViewPoint v) {
    return Pt{static_cast<float>((v.x - fit.x) / fit.width),
              static_cast<float>((v.y - fit.y) / fit.height)};
}

bool isFinite(Pt p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

namespace {

float placeComponent(float v, bool snap, float grid) {
    if (v > 1.5f) {
        v = 1.5f;
    } else if (v <= -0.5f) {
        v = -0.5f;
    }
    if (snap) {
        // std::round takes halves away from zero: 1/32 goes to 1/16, -1/32 to -1/16.
        v = std::round(v / grid) * grid;
    }
    return v;
}

} // namespace

Pt placeDraggedPoint(Pt p, bool snap, float grid) {
    return Pt{placeComponent(p.x, snap, grid), placeComponent(p.y, snap, grid)};
}

} // namespace prismeta
