#include "geometry/CoveredSize.h"

#include "core/Surface.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

int sideInPixels(double extent, double scale, int cap) {
    const double pixels = std::ceil(extent * std::fabs(scale));
    if (!std::isfinite(pixels) || pixels < 1.0) {
        return 1;
    }
    return pixels >= cap ? std::max(cap, 1) : static_cast<int>(pixels);
}

} // namespace

PixelSize coveredSize(const Surface& surface, double pixelsPerUnitX, double pixelsPerUnitY,
                      int cap) {
    const std::vector<Pt>& points = surface.mesh ? surface.mesh->points : surface.corners;
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    for (const Pt& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            return {};
        }
        left = std::min(left, double{p.x});
        right = std::max(right, double{p.x});
        top = std::min(top, double{p.y});
        bottom = std::max(bottom, double{p.y});
    }
    if (points.empty()) {
        return {};
    }
    return {sideInPixels(right - left, pixelsPerUnitX, cap),
            sideInPixels(bottom - top, pixelsPerUnitY, cap)};
}

bool mayCoverRegion(const Surface& surface, double x, double y, double width, double height) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height)) {
        return true;
    }
    const std::vector<Pt>& points = surface.mesh ? surface.mesh->points : surface.corners;
    if (points.empty()) {
        return false; // nothing is drawn
    }
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    for (const Pt& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
            return true;
        }
        left = std::min(left, double{p.x});
        right = std::max(right, double{p.x});
        top = std::min(top, double{p.y});
        bottom = std::max(bottom, double{p.y});
    }
    const double regionLeft = std::min(x, x + width);
    const double regionTop = std::min(y, y + height);
    return left <= regionLeft + std::fabs(width) && right >= regionLeft &&
           top <= regionTop + std::fabs(height) && bottom >= regionTop;
}

} // namespace prismeta
