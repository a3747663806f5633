#include "calibration/CanvasRegion.h"

#include <algorithm>
#include <cmath>

namespace prismeta::calibration {

std::optional<CanvasCorners> largestCanvasRectangle(const std::vector<std::uint8_t>& covered,
                                                    int width, int height, double aspect) {
    if (width <= 0 || height <= 0 || !(aspect > 0.0) || !std::isfinite(aspect) ||
        covered.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return std::nullopt;
    }
    // Searched on a coarse grid of cells, each covered only when all of its
    // pixels are, so the rectangle found is inside the covered area.
    const int cell = std::max(1, std::max(width, height) / 480);
    const int gw = width / cell;
    const int gh = height / cell;
    if (gw < 1 || gh < 1) {
        return std::nullopt;
    }
    const std::size_t stride = static_cast<std::size_t>(gw) + 1;
    // Summed counts of uncovered cells.
    std::vector<int> holes(stride * (static_cast<std::size_t>(gh) + 1), 0);
    double sumX = 0.0;
    double sumY = 0.0;
    double coveredCells = 0.0;
    for (int gy = 0; gy < gh; ++gy) {
        int rowHoles = 0;
        for (int gx = 0; gx < gw; ++gx) {
            bool all = true;
            for (int y = gy * cell; y < (gy + 1) * cell && all; ++y) {
                for (int x = gx * cell; x < (gx + 1) * cell; ++x) {
                    if (covered[static_cast<std::size_t>(y) * width + x] == 0) {
                        all = false;
                        break;
                    }
                }
            }
            if (all) {
                sumX += gx + 0.5;
                sumY += gy + 0.5;
                coveredCells += 1.0;
            }
            rowHoles += all ? 0 : 1;
            holes[(gy + 1) * stride + gx + 1] = holes[gy * stride + gx + 1] + rowHoles;
        }
    }
    if (coveredCells == 0.0) {
        return std::nullopt;
    }
    const double cx = sumX / coveredCells;
    const double cy = sumY / coveredCells;
    const auto holesIn = [&](int x0, int y0, int x1, int y1) {
        return holes[y1 * stride + x1] - holes[y0 * stride + x1] - holes[y1 * stride + x0] +
               holes[y0 * stride + x0];
    };
    // The best placement of a rectangle rh cells high, if any.
    struct Place {
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
    };
    const auto place = [&](int rh) -> std::optional<Place> {
        const int rw = static_cast<int>(std::floor(rh * aspect));
        if (rh < 1 || rw < 1 || rw > gw || rh > gh) {
            return std::nullopt;
        }
        std::optional<Place> best;
        double bestDistance = 0.0;
        for (int y = 0; y + rh <= gh; ++y) {
            for (int x = 0; x + rw <= gw; ++x) {
                if (holesIn(x, y, x + rw, y + rh) != 0) {
                    continue;
                }
                const double dx = x + rw * 0.5 - cx;
                const double dy = y + rh * 0.5 - cy;
                const double distance = dx * dx + dy * dy;
                if (!best || distance < bestDistance) {
                    best = Place{x, y, rw, rh};
                    bestDistance = distance;
                }
            }
        }
        return best;
    };
    // Fitting is monotonic in the size: search for the largest height.
    int lo = 0;
    int hi = gh;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (place(mid)) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    const std::optional<Place> found = place(lo);
    if (!found) {
        return std::nullopt;
    }
    const double x0 = found->x * cell;
    const double y0 = found->y * cell;
    const double x1 = (found->x + found->w) * cell;
    const double y1 = (found->y + found->h) * cell;
    return CanvasCorners{Vec2{x0, y0}, Vec2{x1, y0}, Vec2{x1, y1}, Vec2{x0, y1}};
}

std::optional<Homography> canvasToCamera(const CanvasCorners& corners) {
    for (const Vec2& c : corners) {
        if (!std::isfinite(c.x) || !std::isfinite(c.y)) {
            return std::nullopt;
        }
    }
    // A convex quadrilateral with its corners in order: every turn the same way.
    double sign = 0.0;
    for (int i = 0; i < 4; ++i) {
        const Vec2& a = corners[static_cast<std::size_t>(i)];
        const Vec2& b = corners[static_cast<std::size_t>((i + 1) % 4)];
        const Vec2& c = corners[static_cast<std::size_t>((i + 2) % 4)];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (std::fabs(cross) < 1e-9 || (sign != 0.0 && (cross > 0.0) != (sign > 0.0))) {
            return std::nullopt;
        }
        sign = cross;
    }
    Homography h;
    if (!Homography::fromUnitSquare(corners, h)) {
        return std::nullopt;
    }
    return h;
}

} // namespace prismeta::calibration
