#pragma once

#include "calibration/CalibrationTypes.h"
#include "calibration/PatternDecoder.h"
#include "core/WarpMesh.h"
#include "geometry/SmoothMesh.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta::calibration {

// A rectangle of the canvas (0..1 coordinates).
struct CanvasRect {
    double x = 0.0;
    double y = 0.0;
    double width = 1.0;
    double height = 1.0;
};

enum class WarpModel {
    automatic,  // the homography where it fits the wall, else a mesh
    homography, // a flat wall: four corners
    mesh,       // a curved wall: a smooth mesh
};

struct WarpFitOptions {
    WarpModel model = WarpModel::automatic;
    // The mesh's cells; 0 chooses them.
    int meshCols = 0;
    int meshRows = 0;
    // Camera pixels per side of the blocks the decoded positions are pooled
    // in (0: one per 480 pixels of the picture's width, at least 3).
    int blockSize = 0;
    // A pooled position farther than this from the fit (projector pixels) is
    // a decoding error, left out of the fit and its residual.
    double outlierDistance = 8.0;
};

// One output's fitted warp: the crop of the canvas the projector reaches
// and where that crop lands on its raster.
struct WarpFit {
    int projectorWidth = 0;
    int projectorHeight = 0;
    CanvasRect crop;
    // The crop's top-left, top-right, bottom-right and bottom-left corners on
    // the raster, normalized 0..1.
    std::array<Vec2, 4> corners;
    // A mesh over the crop (cols x rows cells, (cols + 1) x (rows + 1) points
    // row by row, normalized), or none (0 cells). A fitted mesh is smooth:
    // drawn as one map through its points (SmoothMeshMap), not cell by cell.
    int meshCols = 0;
    int meshRows = 0;
    std::vector<Vec2> meshPoints;
    WarpMesh::Interpolation interpolation = WarpMesh::Interpolation::cells;
    // The smooth map of the mesh as stored (single precision), made by
    // prepareMeshMap; warpCanvasToProjector makes one each call without it.
    std::shared_ptr<const SmoothMeshMap> smoothMap;
    // Distance between the warp and the decoded positions, projector pixels.
    double rms = 0.0;
    double maxResidual = 0.0;
    std::size_t samples = 0;
    std::size_t outliers = 0;
    // The whole fitted map for points outside the crop: the homography (flat)
    // or the mesh's underlying homography.
    Homography canvasToProjector;
};

// The projector position (pixels) at which the warp shows canvas point q,
// through the corners, the mesh cell q lies in, or the smooth mesh's map;
// none outside the crop.
std::optional<Vec2> warpCanvasToProjector(const WarpFit& fit, Vec2 q);

// The mesh as the project stores it: single-precision points and the
// interpolation. None without a mesh.
std::optional<WarpMesh> storedMesh(const WarpFit& fit);

// Makes fit.smoothMap for a smooth mesh (after its points were set); false
// when the mesh has no smooth map (a degenerate outline).
bool prepareMeshMap(WarpFit& fit);

// The edge of the projector's raster as the camera sees it, `perEdge`
// points along each side, clockwise from the top-left corner: the raster
// back onto the canvas through the fitted map (on a curved wall the mesh's
// underlying homography, so an outline, not the truth), then onto the camera
// picture. Points that land beyond the horizon are left out.
std::vector<Vec2> rasterOutlineInCamera(const WarpFit& fit, const Homography& canvasToCamera,
                                        int perEdge = 16);

struct WarpFitOutcome {
    std::optional<WarpFit> fit;
    std::string problem; // why there is none
};

// Fits the map from canvas to projector raster from one output's decoded
// positions, the canvas lying on the camera picture through canvasToCamera.
WarpFitOutcome fitWarp(const DecodedOutput& decoded, const Homography& canvasToCamera,
                       const WarpFitOptions& options = {});

} // namespace prismeta::calibration
