#pragma once

#include "core/Pt.h"

#include <memory>
#include <optional>
#include <span>

namespace prismeta {

class SmoothMeshMap;
struct Surface;
struct WarpMesh;

// Where a point of a surface's picture (0..1 across and down before
// warping, 0,0 its top-left) lands on the canvas, and back: the perspective
// map of the unit square onto the four corners, or onto each cell of a warp
// mesh of cells, or a smooth mesh's SmoothMeshMap, as the renderer draws it.
// Points outside the picture follow the nearest edge cell's map (a smooth
// mesh's border spans), so a mask point dragged past the edge still has a
// place. A smooth mesh's map is made on each call (it allocates). Pure; any
// thread.

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

// pictureToCanvas for many points of one picture (drawing its lines): a
// smooth mesh's map is made once, here. Borrows corners and mesh, which must
// outlive it.
class PictureMap {
public:
    PictureMap(std::span<const Pt> corners, const WarpMesh* mesh);
    ~PictureMap();
    PictureMap(const PictureMap&) = delete;
    PictureMap& operator=(const PictureMap&) = delete;
    std::optional<Pt> operator()(Pt picture) const;

private:
    std::span<const Pt> corners_;
    const WarpMesh* mesh_;
    std::unique_ptr<SmoothMeshMap> smooth_;
};

} // namespace prismeta
