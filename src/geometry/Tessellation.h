#pragma once

#include "core/Pt.h"
#include "geometry/SmoothTessellation.h"
#include "geometry/SurfaceVertex.h"

#include <cstddef>
#include <span>
#include <vector>

namespace prismeta {

struct Surface;
struct WarpMesh;

// Turns a surface into a plain triangle list: a corner-pinned quad (6
// vertices) or, with a warp mesh of cells, every cell as its own
// corner-pinned quad (6 * cols * rows vertices, row-major cells). Each quad
// is (P0, P1, P2), (P0, P2, P3) with the projective texture coordinates of
// its own weights. A smooth mesh is cut for the scale it is drawn at (see
// SmoothTessellation.h; its map is made on each call, which allocates:
// callers that draw every frame keep the vertices until the mesh or the
// scale changes); one whose map cannot be made is drawn as cells.
//
// A surface that cannot be drawn safely is skipped (no vertices): fewer than
// four corners without a mesh; a mesh with counts below 1, fewer points than
// its grid needs, or a grid beyond WarpMesh::maxPoints. Pure; any thread.

// Vertices tessellateSurface appends for this surface (0 when skipped).
std::size_t tessellatedVertexCount(const Surface& surface, PixelScale scale);

// Appends the surface's vertices to out and returns how many were appended.
// Allocates only when out lacks capacity, so reused storage stays put.
std::size_t tessellateSurface(const Surface& surface, PixelScale scale,
                              std::vector<SurfaceVertex>& out);

// The same for any corner-pinned picture (an output's warp, whose positions
// are then in raster coordinates): its corners, or its mesh when there is
// one (null: none), skipped by the same rules.
std::size_t tessellatedVertexCount(std::span<const Pt> corners, const WarpMesh* mesh,
                                   PixelScale scale);
std::size_t tessellateQuads(std::span<const Pt> corners, const WarpMesh* mesh, PixelScale scale,
                            std::vector<SurfaceVertex>& out);

} // namespace prismeta
