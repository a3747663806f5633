#pragma once

#include "core/OutputWarp.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace prismeta {

// The edits of an output's warp that the output window and remote control
// make, keeping a meshed warp's corners on its mesh's outer corner points.
// Pure; any thread.

// Where corner k (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left)
// of a mesh's grid lies in its point list. The mesh must have a valid grid.
std::size_t meshCornerIndex(const WarpMesh& mesh, std::size_t corner);

// The warp with corner k at p (k above 3: unchanged). With a mesh, every
// point of it follows the perspective map from the mesh's corner points to
// the new corners: the keystone changes, the mesh's own bends stay. Where
// either map degenerates, only the mesh's corner point moves.
OutputWarp warpWithCorner(const OutputWarp& warp, std::size_t corner, Pt p);

// The warp with mesh point `index` at p; an outer corner point of the grid
// takes its corner along. Unchanged without a valid mesh or such a point.
OutputWarp warpWithMeshPoint(const OutputWarp& warp, std::size_t index, Pt p);

// A mesh of cols x rows cells laid over the warp as it is drawn now (its
// corners' perspective, or its current mesh), so the picture keeps its
// shape (exactly for a smooth mesh over the corners' perspective, whose
// points lie on its grid). None when the counts are refused
// (WarpMesh::gridPointCount) or the map degenerates.
std::optional<OutputWarp>
warpWithMesh(const OutputWarp& warp, std::int64_t cols, std::int64_t rows,
             WarpMesh::Interpolation interpolation = WarpMesh::Interpolation::smooth);

} // namespace prismeta
