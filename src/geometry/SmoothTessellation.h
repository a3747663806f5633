#pragma once

#include "core/WarpMesh.h"
#include "geometry/SurfaceVertex.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace prismeta {

class SmoothMeshMap;

// Drawn pixels per unit of a picture's positions, across and down: a
// surface's canvas units on the render target, an output warp's raster
// (0..1) on the projector.
struct PixelScale {
    double x = 1.0;
    double y = 1.0;
};

// A smooth mesh is drawn as a fine grid of affine triangles whose vertices
// lie on its SmoothMeshMap (texture coordinates u, v with q = 1). Each column
// of mesh cells is cut into the same number of sub-columns, each row into
// the same number of sub-rows, so that no sub-cell side is longer than
// smoothCutPixels where it is drawn (the triangles' third edge, the
// sub-cell's shorter diagonal, is then at most about sqrt 2 times that). At that size a drawn point
// lies well within half a pixel of the map for any mesh that is not folded.
inline constexpr double smoothCutPixels = 8.0;

// The cuts are capped so that one mesh never asks for more than this many
// vertices (a huge surface on a small crop); beyond it the cells are cut
// less finely.
inline constexpr std::size_t maxSmoothVertices = std::size_t{1} << 21;

// Whether a mesh is drawn (and mapped) by its smooth map: smooth, with a
// valid grid of at most maxSmoothVertices / 6 cells. A larger one (only a
// hostile file has one) is drawn as cells, within the renderer's own
// budget, so that no map of millions of points is made.
bool drawnSmooth(const WarpMesh& mesh);

struct SmoothCuts {
    std::vector<int> across; // sub-columns of each column of cells
    std::vector<int> down;   // sub-rows of each row of cells
    std::size_t vertexCount() const;
};

// The cuts for the map drawn at scale; nothing where the map cannot be
// evaluated along the mesh's lines (a point sent to infinity).
std::optional<SmoothCuts> smoothCuts(const SmoothMeshMap& map, PixelScale scale);

// Appends 6 vertices per sub-cell, row-major, each sub-cell two triangles
// split along its shorter diagonal at scale, and returns how many were
// appended; none where the map fails at a vertex (out is left as it was).
std::size_t tessellateSmoothMesh(const SmoothMeshMap& map, const SmoothCuts& cuts, PixelScale scale,
                                 std::vector<SurfaceVertex>& out);

} // namespace prismeta
