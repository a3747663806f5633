#include "app/editor/EditorHandles.h"

#include "core/Surface.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

void collectHandles(const Surface& surface, const ViewRect& fit, std::vector<EditorHandle>& out) {
    out.clear();
    if (surface.mesh) {
        const WarpMesh& mesh = *surface.mesh;
        out.reserve(mesh.points.size());
        for (std::size_t i = 0; i < mesh.points.size(); ++i) {
            EditorHandle handle;
            handle.kind = HandleKind::meshPoint;
            handle.index = i;
            // A grid with negative columns has no rows to speak of: every point
            // sits in row 0 at its own index.
            const auto index = static_cast<std::int64_t>(i);
            if (mesh.cols >= 0 && mesh.cols < INT64_MAX) {
                handle.row = index / (mesh.cols + 1);
                handle.column = index % (mesh.cols + 1);
            } else {
                handle.column = index;
            }
            handle.center = canvasToView(fit, mesh.points[i]);
            handle.radius = meshHandleRadius;
            out.push_back(handle);
        }
        return;
    }
    const std::size_t count = std::min<std::size_t>(surface.corners.size(), 4);
    for (std::size_t i = 0; i < count; ++i) {
        EditorHandle handle;
        handle.kind = HandleKind::corner;
        handle.index = i;
        handle.center = canvasToView(fit, surface.corners[i]);
        handle.radius = cornerHandleRadius;
        out.push_back(handle);
    }
}

std::optional<std::size_t> topmostHandleAt(const std::vector<EditorHandle>& handles, ViewPoint p) {
    for (std::size_t i = handles.size(); i-- > 0;) {
        const EditorHandle& h = handles[i];
        if (std::hypot(p.x - h.center.x, p.y - h.center.y) <= h.radius) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> meshPointIndex(std::int64_t row, std::int64_t column, std::int64_t cols,
                                          std::size_t pointCount) {
    if (row < 0 || column < 0) {
        return std::nullopt;
    }
    const auto r = static_cast<std::uint64_t>(row);
    const auto c = static_cast<std::uint64_t>(column);
    const auto n = static_cast<std::uint64_t>(pointCount);
    if (cols < 0) {
        // No grid: only row 0 means anything, and there the column is the index.
        return r == 0 && c < n ? std::optional<std::size_t>(static_cast<std::size_t>(c))
                               : std::nullopt;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(cols) + 1;
    // r * width + c < n, asked without overflowing.
    if (c >= n || r > (n - 1 - c) / width) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(r * width + c);
}

} // namespace prismeta
