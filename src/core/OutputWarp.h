#pragma once

#include "core/Pt.h"
#include "core/WarpMesh.h"

#include <array>
#include <optional>

namespace prismeta {

// Where an output's picture lands on its projector's raster, in the raster's
// own 0..1 coordinates (x right, y down; 0,0 is the raster's top-left edge,
// 1,1 its bottom-right edge). corners[0] takes the crop's top-left, 1 its
// top-right, 2 its bottom-right and 3 its bottom-left, in perspective.
//
// With a mesh the picture is drawn through the mesh instead, as a surface's
// is: each cell a corner-pinned quad of its (cols + 1) x (rows + 1) points,
// row-major, the same limits. The corners then stay the mesh's outer corner
// points: the editor and remote control move the two together
// (warpWithCorner). A file may hold a mesh whose corners disagree with it;
// the mesh is what is drawn.
//
// Points may lie anywhere: a picture larger than the raster is cut by its
// edge. A plain value.
inline constexpr std::array<Pt, 4> identityWarpCorners = {Pt{0.0f, 0.0f}, Pt{1.0f, 0.0f},
                                                          Pt{1.0f, 1.0f}, Pt{0.0f, 1.0f}};

struct OutputWarp {
    std::array<Pt, 4> corners = identityWarpCorners;
    std::optional<WarpMesh> mesh;

    friend bool operator==(const OutputWarp&, const OutputWarp&) = default;
};

} // namespace prismeta
