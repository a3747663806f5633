#pragma once

#include "core/Pt.h"
#include "geometry/AspectFit.h"

#include <cstddef>
#include <cstdint>

namespace prismeta {

struct WarpMesh;

// A location in the editor's own space: points (device-independent pixels),
// origin at the editor's top-left corner, y down, double precision.
struct ViewPoint {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const ViewPoint&, const ViewPoint&) = default;
};

// The editor's conversions between canvas coordinates and view points, and
// the placement rule of a dragged corner or mesh point. Plain functions, any
// thread.

// Canvas point p on the fit rectangle, p widened to double.
ViewPoint canvasToView(const ViewRect& fit, Pt p);

// View point v in canvas coordinates: computed in double, narrowed to single.
// Not finite when the fit is empty; callers check isFinite first.
Pt viewToCanvas(const ViewRect& fit, ViewPoint v);

bool isFinite(Pt p);

// A dragged point's canvas position: each component clamped (above 1.5 to
// 1.5, at or below -0.5 to -0.5), then, when snapping, rounded to the nearest
// multiple of grid with halves away from zero.
Pt placeDraggedPoint(Pt p, bool snap, float grid);

// One polyline of a mesh's grid: `count` point indices first, first + stride,
// first + 2 * stride and so on, every one of them inside the point list.
struct MeshLine {
    std::size_t first = 0;
    std::size_t stride = 1;
    std::size_t count = 0;
};

// Visits the grid lines of a mesh, every row (left to right) and then every
// column (top to bottom), each cut short at the first point the list lacks.
// A mesh read from a file may hold fewer points than its counts need, or
// counts far beyond its points: only lines whose points exist are visited, so
// the walk is bounded by the point count whatever the counts say. Negative
// counts have no grid at all.
template <typename Visit>
void forEachMeshLine(std::int64_t cols, std::int64_t rows, std::size_t pointCount, Visit&& visit) {
    if (cols < 0 || rows < 0 || pointCount == 0) {
        return;
    }
    const auto width = static_cast<std::uint64_t>(cols) + 1;  // points per row
    const auto height = static_cast<std::uint64_t>(rows) + 1; // points per column
    const auto n = static_cast<std::uint64_t>(pointCount);
    // Row r starts at r * width, which exists while r <= (n - 1) / width.
    const std::uint64_t lastRow = (n - 1) / width;
    for (std::uint64_t r = 0; r < height && r <= lastRow; ++r) {
        const std::uint64_t first = r * width;
        const std::uint64_t count = width < n - first ? width : n - first;
        visit(MeshLine{static_cast<std::size_t>(first), 1, static_cast<std::size_t>(count)});
    }
    for (std::uint64_t c = 0; c < width && c < n; ++c) {
        const std::uint64_t available = (n - 1 - c) / width + 1;
        const std::uint64_t count = height < available ? height : available;
        visit(MeshLine{static_cast<std::size_t>(c), static_cast<std::size_t>(width),
                       static_cast<std::size_t>(count)});
    }
}

} // namespace prismeta
