#pragma once

#include "app/editor/EditorGeometry.h"
#include "core/Surface.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace prismeta {

// The grab handles of the selected surface: a disc per corner, or, for a
// meshed surface, a disc per mesh point instead, in index order (a later
// handle lies over an earlier one). Handles are not stored: they are walked
// from the surface whenever they are drawn or hit-tested, so a surface of
// any size costs no memory here. Plain functions, any thread.

enum class HandleKind { corner, meshPoint };

// Radii in points.
inline constexpr double cornerHandleRadius = 8.0;
inline constexpr double meshHandleRadius = 5.0;

struct EditorHandle {
    HandleKind kind = HandleKind::corner;
    // The corner index, or the mesh point's index in the list.
    std::size_t index = 0;
    // A mesh point's place in the grid it was built from, which is where a
    // drag writes back even if the column count changes meanwhile.
    std::int64_t row = 0;
    std::int64_t column = 0;
    ViewPoint center;
    double radius = cornerHandleRadius;
};

// Calls visit(const EditorHandle&) for each handle of `surface` on the fit
// rectangle, in drawing order: corners 0 to 3 where they exist, or every mesh
// point the mesh holds (up to WarpMesh::maxPoints, beyond any real grid).
template <typename Visit>
void forEachHandle(const Surface& surface, const ViewRect& fit, Visit&& visit) {
    EditorHandle handle;
    if (surface.mesh) {
        const WarpMesh& mesh = *surface.mesh;
        const std::size_t count =
            std::min(mesh.points.size(), static_cast<std::size_t>(WarpMesh::maxPoints));
        handle.kind = HandleKind::meshPoint;
        handle.radius = meshHandleRadius;
        // Without a row width (negative columns) every point is in row 0.
        const bool hasWidth = mesh.cols >= 0 && mesh.cols < INT64_MAX;
        for (std::size_t i = 0; i < count; ++i) {
            const auto index = static_cast<std::int64_t>(i);
            handle.index = i;
            handle.row = hasWidth ? index / (mesh.cols + 1) : 0;
            handle.column = hasWidth ? index % (mesh.cols + 1) : index;
            handle.center = canvasToView(fit, mesh.points[i]);
            visit(static_cast<const EditorHandle&>(handle));
        }
        return;
    }
    const std::size_t count = std::min<std::size_t>(surface.corners.size(), 4);
    for (std::size_t i = 0; i < count; ++i) {
        handle.index = i;
        handle.center = canvasToView(fit, surface.corners[i]);
        visit(static_cast<const EditorHandle&>(handle));
    }
}

// The topmost handle (the last in drawing order) whose disc contains p.
std::optional<EditorHandle> topmostHandleAt(const Surface& surface, const ViewRect& fit,
                                            ViewPoint p);

// Where a mesh point of (row, column) lies in a mesh of `cols` columns
// holding `pointCount` points, or nothing when the grid has no such point.
std::optional<std::size_t> meshPointIndex(std::int64_t row, std::int64_t column, std::int64_t cols,
                                          std::size_t pointCount);

} // namespace prismeta
