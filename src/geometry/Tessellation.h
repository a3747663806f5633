#pragma once

#include "geometry/SurfaceVertex.h"

#include <cstddef>
#include <vector>

namespace prismeta {

struct Surface;

// Turns a surface into a plain triangle list: a corner-pinned quad (6
// vertices) or, with a warp mesh, every cell as its own corner-pinned quad
// (6 * cols * rows vertices, row-major cells). Each quad is (P0, P1, P2),
// (P0, P2, P3) with the projective texture coordinates of its own weights.
//
// A surface that cannot be drawn safely is skipped (no vertices): fewer than
// four corners without a mesh; a mesh with counts below 1, fewer points than
// its grid needs, or a grid beyond WarpMesh::maxPoints. Pure; any thread.

// Vertices tessellateSurface appends for this surface (0 when skipped).
std::size_t tessellatedVertexCount(const Surface& surface);

// Appends the surface's vertices to out and returns how many were appended.
// Allocates only when out lacks capacity, so reused storage stays put.
std::size_t tessellateSurface(const Surface& surface, std::vector<SurfaceVertex>& out);

} // namespace prismeta
