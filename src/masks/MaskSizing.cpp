#include "masks/MaskSizing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

int sideFor(double pixels) {
    int side = minSurfaceCoverageSide;
    while (side < maxSurfaceCoverageSide && side < pixels) {
        side *= 2;
    }
    return side;
}

} // namespace

CoverageSize surfaceCoverageSize(const Surface& surface, double cropWidth, double cropHeight,
                                 int targetWidth, int targetHeight) {
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    const auto include = [&](const Pt& p) {
        if (std::isfinite(p.x) && std::isfinite(p.y)) {
            left = std::min<double>(left, p.x);
            right = std::max<double>(right, p.x);
            top = std::min<double>(top, p.y);
            bottom = std::max<double>(bottom, p.y);
        }
    };
    std::for_each(surface.corners.begin(), surface.corners.end(), include);
    if (surface.mesh) {
        std::for_each(surface.mesh->points.begin(), surface.mesh->points.end(), include);
    }
    if (!(right >= left) || !(bottom >= top)) {
        return {minSurfaceCoverageSide, minSurfaceCoverageSide};
    }
    const double across = (right - left) / std::fabs(cropWidth) * targetWidth;
    const double down = (bottom - top) / std::fabs(cropHeight) * targetHeight;
    return {sideFor(std::isfinite(across) ? across : 0.0),
            sideFor(std::isfinite(down) ? down : 0.0)};
}

} // namespace prismeta
