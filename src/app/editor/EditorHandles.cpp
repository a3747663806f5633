#include "app/editor/EditorHandles.h"

#include <cmath>

namespace prismeta {

std::optional<EditorHandle> topmostHandleAt(const Surface& surface, const ViewRect& fit,
                                            ViewPoint p) {
    std::optional<EditorHandle> hit;
    forEachHandle(surface, fit, [&](const EditorHandle& handle) {
        if (std::hypot(p.x - handle.center.x, p.y - handle.center.y) <= handle.radius) {
            hit = handle;
        }
    });
    return hit;
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
