#pragma once

#include "core/Pt.h"

#include <optional>
#include <span>

namespace prismeta {

struct Surface;
struct WarpMesh;

// Where a point of a surface's picture (0..1 across and down before
// warping, 0,0 its top-left) lands on the canvas, and back: the perspective
// map of the unit square onto the four corners, or onto each cell of the
// warp mesh, as the renderer draws it. Points outside the picture follow the
// nearest edge cell's map, so a mask point dragged past the edge still has a
// place. Pure; any thread.

// Nothing when the surface cannot be drawn (fewer than four corners, a mesh
// without a valid grid) or the map degenerates there.
std::optional<Pt> pictureToCanvas(const Surface& surface, Pt picture);

// The inverse: the picture point drawn at canvas point p. For a mesh, the
// cell that contains p, or the cell whose picture square lies nearest.
std::optional<Pt> canvasToPicture(const Surface& surface, Pt canvas);

// The same for any corner-pinned picture (an output's warp onto its raster):
// the first four corners, or the mesh when there is one (null: none).
std::optional<Pt> pictureToCanvas(std::span<const Pt> corners, const WarpMesh* mesh, Pt picture);
std::optional<Pt> canvasToPicture(std::span<const Pt> corners, const WarpMesh* mesh, Pt canvas);

} // namespace prismeta
