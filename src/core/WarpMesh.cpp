#include "core/WarpMesh.h"

namespace prismeta {

std::optional<std::int64_t> WarpMesh::gridPointCount(std::int64_t cols, std::int64_t rows) {
    if (cols < 1 || rows < 1 || cols >= maxPoints || rows >= maxPoints) {
        return std::nullopt;
    }
    const std::int64_t count = (cols + 1) * (rows + 1); // both below 2^22: no overflow
    if (count > maxPoints) {
        return std::nullopt;
    }
    return count;
}

std::optional<WarpMesh> WarpMesh::from(std::span<const Pt> corners, std::int64_t cols,
                                       std::int64_t rows) {
    const auto count = gridPointCount(cols, rows);
    if (corners.size() < 4 || !count) {
        return std::nullopt;
    }
    const Pt c0 = corners[0];
    const Pt c1 = corners[1];
    const Pt c2 = corners[2];
    const Pt c3 = corners[3];

    WarpMesh mesh;
    mesh.cols = cols;
    mesh.rows = rows;
    mesh.points.reserve(static_cast<std::size_t>(*count));
    const float fcols = static_cast<float>(cols);
    const float frows = static_cast<float>(rows);
    for (std::int64_t r = 0; r <= rows; ++r) {
        const float v = static_cast<float>(r) / frows;
        const Pt left{c0.x + (c3.x - c0.x) * v, c0.y + (c3.y - c0.y) * v};
        const Pt right{c1.x + (c2.x - c1.x) * v, c1.y + (c2.y - c1.y) * v};
        for (std::int64_t c = 0; c <= cols; ++c) {
            const float u = static_cast<float>(c) / fcols;
            mesh.points.push_back(
                Pt{left.x + (right.x - left.x) * u, left.y + (right.y - left.y) * u});
        }
    }
    return mesh;
}

bool WarpMesh::hasValidGrid() const {
    const auto count = gridPointCount(cols, rows);
    return count && points.size() >= static_cast<std::size_t>(*count);
}

} // namespace prismeta
