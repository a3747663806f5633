#include "geometry/PictureMapping.h"

#include "core/Surface.h"
#include "geometry/SmoothMesh.h"
#include "geometry/SmoothTessellation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

namespace prismeta {

namespace {

// x = (a u + b v + c) / w, y = (d u + e v + f) / w, w = g u + h v + 1: the
// map of the unit square onto a quad (corners in order around it, the first
// at 0,0), in double precision.
struct Homography {
    std::array<double, 9> m{};

    static std::optional<Homography> squareTo(const std::array<Pt, 4>& q) {
        const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
        const double x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
        const double dx1 = x1 - x2, dx2 = x3 - x2, dx3 = x0 - x1 + x2 - x3;
        const double dy1 = y1 - y2, dy2 = y3 - y2, dy3 = y0 - y1 + y2 - y3;
        const double den = dx1 * dy2 - dx2 * dy1;
        if (!std::isfinite(den) || den == 0.0) {
            return std::nullopt;
        }
        const double g = (dx3 * dy2 - dx2 * dy3) / den;
        const double h = (dx1 * dy3 - dx3 * dy1) / den;
        Homography H;
        H.m = {x1 - x0 + g * x1,
               x3 - x0 + h * x3,
               x0,
               y1 - y0 + g * y1,
               y3 - y0 + h * y3,
               y0,
               g,
               h,
               1.0};
        return H;
    }

    std::optional<Homography> inverse() const {
        const auto& a = m;
        const double c0 = a[4] * a[8] - a[5] * a[7];
        const double c1 = a[5] * a[6] - a[3] * a[8];
        const double c2 = a[3] * a[7] - a[4] * a[6];
        const double det = a[0] * c0 + a[1] * c1 + a[2] * c2;
        if (!std::isfinite(det) || std::fabs(det) < 1e-300) {
            return std::nullopt;
        }
        Homography inv;
        inv.m = {c0 / det, (a[2] * a[7] - a[1] * a[8]) / det, (a[1] * a[5] - a[2] * a[4]) / det,
                 c1 / det, (a[0] * a[8] - a[2] * a[6]) / det, (a[2] * a[3] - a[0] * a[5]) / det,
                 c2 / det, (a[1] * a[6] - a[0] * a[7]) / det, (a[0] * a[4] - a[1] * a[3]) / det};
        return inv;
    }

    std::optional<std::array<double, 2>> apply(double u, double v) const {
        const double w = m[6] * u + m[7] * v + m[8];
        if (!std::isfinite(w) || std::fabs(w) < 1e-12) {
            return std::nullopt;
        }
        const double x = (m[0] * u + m[1] * v + m[2]) / w;
        const double y = (m[3] * u + m[4] * v + m[5]) / w;
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return std::nullopt;
        }
        return std::array<double, 2>{x, y};
    }
};

std::optional<Pt> narrowed(const std::optional<std::array<double, 2>>& p) {
    if (!p || std::fabs((*p)[0]) > 3.4e38 || std::fabs((*p)[1]) > 3.4e38) {
        return std::nullopt;
    }
    return Pt{static_cast<float>((*p)[0]), static_cast<float>((*p)[1])};
}

struct Grid {
    std::int64_t cols = 1;
    std::int64_t rows = 1;
};

// The corners, or the mesh that stands for them.
struct Shape {
    std::span<const Pt> corners;
    const WarpMesh* mesh = nullptr;
};

std::optional<Grid> gridOf(const Shape& shape) {
    if (shape.mesh) {
        if (!shape.mesh->hasValidGrid()) {
            return std::nullopt;
        }
        return Grid{shape.mesh->cols, shape.mesh->rows};
    }
    if (shape.corners.size() < 4) {
        return std::nullopt;
    }
    return Grid{};
}

std::array<Pt, 4> cellQuad(const Shape& shape, const Grid& grid, std::int64_t col,
                           std::int64_t row) {
    if (!shape.mesh) {
        const std::span<const Pt> c = shape.corners;
        return {c[0], c[1], c[2], c[3]};
    }
    const std::vector<Pt>& p = shape.mesh->points;
    const std::size_t stride = static_cast<std::size_t>(grid.cols) + 1;
    const std::size_t tl = static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(col);
    return {p[tl], p[tl + 1], p[tl + stride + 1], p[tl + stride]};
}

// The map of a smooth mesh, or nothing for the corners, a mesh of cells and
// a smooth mesh whose map cannot be made (drawn as cells, see Tessellation).
std::optional<SmoothMeshMap> smoothMapOf(const WarpMesh* mesh) {
    if (!mesh || !drawnSmooth(*mesh)) {
        return std::nullopt;
    }
    return SmoothMeshMap::from(*mesh);
}

} // namespace

std::optional<Pt> pictureToCanvas(const Surface& surface, Pt picture) {
    return pictureToCanvas(surface.corners, surface.mesh ? &*surface.mesh : nullptr, picture);
}

std::optional<Pt> canvasToPicture(const Surface& surface, Pt canvas) {
    return canvasToPicture(surface.corners, surface.mesh ? &*surface.mesh : nullptr, canvas);
}

std::optional<Pt> pictureToCanvas(std::span<const Pt> corners, const WarpMesh* mesh, Pt picture) {
    const Shape shape{corners, mesh};
    const std::optional<Grid> grid = gridOf(shape);
    if (!grid || !std::isfinite(picture.x) || !std::isfinite(picture.y)) {
        return std::nullopt;
    }
    const double u = static_cast<double>(picture.x) * static_cast<double>(grid->cols);
    const double v = static_cast<double>(picture.y) * static_cast<double>(grid->rows);
    const auto col = static_cast<std::int64_t>(
        std::clamp(std::floor(u), 0.0, static_cast<double>(grid->cols - 1)));
    const auto row = static_cast<std::int64_t>(
        std::clamp(std::floor(v), 0.0, static_cast<double>(grid->rows - 1)));
    if (const std::optional<SmoothMeshMap> smooth = smoothMapOf(mesh)) {
        const std::optional<Pt> p = smooth->map(picture.x, picture.y);
        if (!p || !std::isfinite(p->x) || !std::isfinite(p->y)) {
            return std::nullopt;
        }
        return p;
    }
    const std::optional<Homography> h = Homography::squareTo(cellQuad(shape, *grid, col, row));
    if (!h) {
        return std::nullopt;
    }
    return narrowed(h->apply(u - static_cast<double>(col), v - static_cast<double>(row)));
}

std::optional<Pt> canvasToPicture(std::span<const Pt> corners, const WarpMesh* mesh, Pt canvas) {
    const Shape shape{corners, mesh};
    const std::optional<Grid> grid = gridOf(shape);
    if (!grid || !std::isfinite(canvas.x) || !std::isfinite(canvas.y)) {
        return std::nullopt;
    }
    if (const std::optional<SmoothMeshMap> smooth = smoothMapOf(mesh)) {
        // Newton's method converges for any point on the picture and near
        // it; far outside a bent mesh the nearest cell's answer stands in.
        if (const std::optional<Pt> picture = smooth->inverse(canvas)) {
            return picture;
        }
    }
    // The cell holding the point, else the one it lies nearest to.
    std::optional<std::array<double, 2>> best;
    double bestOutside = std::numeric_limits<double>::infinity();
    for (std::int64_t row = 0; row < grid->rows && bestOutside > 0.0; ++row) {
        for (std::int64_t col = 0; col < grid->cols; ++col) {
            const std::array<Pt, 4> quad = cellQuad(shape, *grid, col, row);
            // A cell whose bounding box lies farther than the best so far
            // cannot win: skipped without its map (a large mesh stays cheap).
            // The map takes the square onto a convex quad, so its box holds
            // every point the clamped cell can give (a folded cell has no
            // sound answer anyway).
            if (std::isfinite(bestOutside)) {
                double left = quad[0].x, right = quad[0].x, top = quad[0].y, bottom = quad[0].y;
                for (const Pt& q : quad) {
                    left = std::min(left, static_cast<double>(q.x));
                    right = std::max(right, static_cast<double>(q.x));
                    top = std::min(top, static_cast<double>(q.y));
                    bottom = std::max(bottom, static_cast<double>(q.y));
                }
                const double dx = std::max({left - canvas.x, 0.0, canvas.x - right});
                const double dy = std::max({top - canvas.y, 0.0, canvas.y - bottom});
                if (std::hypot(dx, dy) >= bestOutside) {
                    continue;
                }
            }
            const std::optional<Homography> h = Homography::squareTo(quad);
            const std::optional<Homography> inv = h ? h->inverse() : std::nullopt;
            const auto local = inv ? inv->apply(canvas.x, canvas.y) : std::nullopt;
            if (!local) {
                continue;
            }
            const double s = (*local)[0], t = (*local)[1];
            // Outside the cell: how far p lies from the cell's nearest point
            // on the canvas (a neighbour sharing the edge may lie nearer).
            double outside = 0.0;
            if (s < 0.0 || s > 1.0 || t < 0.0 || t > 1.0) {
                const auto edge = h->apply(std::clamp(s, 0.0, 1.0), std::clamp(t, 0.0, 1.0));
                if (!edge) {
                    continue;
                }
                outside = std::hypot((*edge)[0] - canvas.x, (*edge)[1] - canvas.y);
            }
            if (outside < bestOutside) {
                bestOutside = outside;
                best = std::array<double, 2>{
                    (static_cast<double>(col) + s) / static_cast<double>(grid->cols),
                    (static_cast<double>(row) + t) / static_cast<double>(grid->rows)};
                if (outside == 0.0) {
                    break;
                }
            }
        }
    }
    return narrowed(best);
}

PictureMap::PictureMap(std::span<const Pt> corners, const WarpMesh* mesh)
    : corners_(corners), mesh_(mesh) {
    if (std::optional<SmoothMeshMap> smooth = smoothMapOf(mesh)) {
        smooth_ = std::make_unique<SmoothMeshMap>(std::move(*smooth));
    }
}

PictureMap::~PictureMap() = default;

std::optional<Pt> PictureMap::operator()(Pt picture) const {
    if (smooth_) {
        if (!std::isfinite(picture.x) || !std::isfinite(picture.y)) {
            return std::nullopt;
        }
        return smooth_->map(picture.x, picture.y);
    }
    return pictureToCanvas(corners_, mesh_, picture);
}

} // namespace prismeta
