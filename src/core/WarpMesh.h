#pragma once

#include "core/Pt.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace prismeta {

// The optional control grid of a surface: cols x rows cells, their
// (cols + 1) x (rows + 1) points stored row by row, so that the point of
// column c and row r has index r * (cols + 1) + c. A mesh read from a file may
// hold any number of points; code that walks the grid checks the count first
// (see hasValidGrid).
struct WarpMesh {
    // How the picture runs between the points. cells: each cell is its own
    // corner-pinned quad (what every mesh was before the choice existed; the
    // file leaves the key out). smooth: one map through every point with a
    // continuous slope across cell borders (see SmoothMeshMap).
    enum class Interpolation : std::uint8_t { cells, smooth };

    std::int64_t cols = 0;
    std::int64_t rows = 0;
    std::vector<Pt> points;
    Interpolation interpolation = Interpolation::cells;

    // The largest point count a mesh may be built with. Far beyond any real
    // mapping grid; it keeps a hostile file from asking for terabytes.
    static constexpr std::int64_t maxPoints = std::int64_t{1} << 22;

    // Points the grid needs, (cols + 1) * (rows + 1), or nothing when the
    // counts are below 1 or the product exceeds maxPoints.
    static std::optional<std::int64_t> gridPointCount(std::int64_t cols, std::int64_t rows);

    // Bilinear grid over the quad of the first four corners, in single
    // precision exactly as specified. Refused (no mesh) with fewer than four
    // corners, counts below 1 or a grid larger than maxPoints.
    static std::optional<WarpMesh> from(std::span<const Pt> corners, std::int64_t cols,
                                        std::int64_t rows);

    // True when the counts are at least 1, within maxPoints, and there are at
    // least as many points as the grid needs.
    bool hasValidGrid() const;

    friend bool operator==(const WarpMesh&, const WarpMesh&) = default;
};

} // namespace prismeta
