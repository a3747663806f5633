#include "geometry/OutputWarpEdits.h"

#include "geometry/PictureMapping.h"

#include <array>

namespace prismeta {

std::size_t meshCornerIndex(const WarpMesh& mesh, std::size_t corner) {
    const auto stride = static_cast<std::size_t>(mesh.cols) + 1;
    const auto lastRow = static_cast<std::size_t>(mesh.rows) * stride;
    switch (corner) {
    case 1:
        return stride - 1;
    case 2:
        return lastRow + stride - 1;
    case 3:
        return lastRow;
    default:
        return 0;
    }
}

namespace {

std::array<Pt, 4> meshCorners(const WarpMesh& mesh) {
    return {mesh.points[meshCornerIndex(mesh, 0)], mesh.points[meshCornerIndex(mesh, 1)],
            mesh.points[meshCornerIndex(mesh, 2)], mesh.points[meshCornerIndex(mesh, 3)]};
}

} // namespace

OutputWarp warpWithCorner(const OutputWarp& warp, std::size_t corner, Pt p) {
    if (corner > 3) {
        return warp;
    }
    OutputWarp edited = warp;
    edited.corners[corner] = p;
    if (!edited.mesh || !edited.mesh->hasValidGrid()) {
        return edited;
    }
    WarpMesh& mesh = *edited.mesh;
    const std::array<Pt, 4> from = meshCorners(mesh);
    std::array<Pt, 4> to = from;
    to[corner] = p;
    for (Pt& point : mesh.points) {
        const std::optional<Pt> picture = canvasToPicture(from, nullptr, point);
        const std::optional<Pt> moved =
            picture ? pictureToCanvas(to, nullptr, *picture) : std::nullopt;
        if (!moved) {
            mesh.points = warp.mesh->points; // a degenerate map moves nothing else
            break;
        }
        point = *moved;
    }
    // The corners exactly where they were put, and the others where they were.
    for (std::size_t k = 0; k < 4; ++k) {
        mesh.points[meshCornerIndex(mesh, k)] = to[k];
        edited.corners[k] = to[k];
    }
    return edited;
}

OutputWarp warpWithMeshPoint(const OutputWarp& warp, std::size_t index, Pt p) {
    if (!warp.mesh || !warp.mesh->hasValidGrid() || index >= warp.mesh->points.size()) {
        return warp;
    }
    OutputWarp edited;
    edited.corners = warp.corners;
    edited.mesh = warp.mesh;
    edited.mesh->points[index] = p;
    for (std::size_t k = 0; k < 4; ++k) {
        if (meshCornerIndex(*edited.mesh, k) == index) {
            edited.corners[k] = p;
        }
    }
    return edited;
}

std::optional<OutputWarp> warpWithMesh(const OutputWarp& warp, std::int64_t cols, std::int64_t rows,
                                       WarpMesh::Interpolation interpolation) {
    const std::optional<std::int64_t> count = WarpMesh::gridPointCount(cols, rows);
    if (!count) {
        return std::nullopt;
    }
    const WarpMesh* current = warp.mesh && warp.mesh->hasValidGrid() ? &*warp.mesh : nullptr;
    WarpMesh mesh;
    mesh.cols = cols;
    mesh.rows = rows;
    mesh.interpolation = interpolation;
    mesh.points.reserve(static_cast<std::size_t>(*count));
    const PictureMap map(warp.corners, current); // a smooth mesh's map made once
    for (std::int64_t r = 0; r <= rows; ++r) {
        for (std::int64_t c = 0; c <= cols; ++c) {
            const Pt picture{
                static_cast<float>(static_cast<double>(c) / static_cast<double>(cols)),
                static_cast<float>(static_cast<double>(r) / static_cast<double>(rows))};
            const std::optional<Pt> placed = map(picture);
            if (!placed) {
                return std::nullopt;
            }
            mesh.points.push_back(*placed);
        }
    }
    OutputWarp edited;
    edited.mesh = std::move(mesh);
    for (std::size_t k = 0; k < 4; ++k) {
        edited.corners[k] = edited.mesh->points[meshCornerIndex(*edited.mesh, k)];
    }
    return edited;
}

} // namespace prismeta
