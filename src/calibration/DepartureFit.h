#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace prismeta::calibration {

// A point the smooth mesh must carry: at picture point (u, v) of the mesh's
// unit square, the departure (dx, dy) from the homography's grid that the
// decoded position asks for.
struct DepartureSample {
    double u = 0.0;
    double v = 0.0;
    double dx = 0.0;
    double dy = 0.0;
};

struct DepartureFitOptions {
    // The four corner nodes keep no departure: the mesh's outer corners are
    // then where the homography puts them, so the homography the smooth map
    // rebuilds from them is the one the departures were fitted under.
    bool pinCorners = false;
    // Relative weights of the bending (second differences of the departures
    // between neighbouring nodes, across, down and diagonally) and of a pull
    // towards no departure, against a node's share of the samples. They
    // decide the nodes no sample reaches (the bending carries the departures
    // on linearly) and barely move the others.
    double bending = 1e-3;
    double pull = 1e-10;
};

// The departures q of the (cols + 1) x (rows + 1) nodes of a smooth mesh
// (row-major, see smoothMeshTerms) that fit the samples best in the least
// squares sense, with the regularisation above: the normal equations,
// sparse (each node meets those within three nodes of it), solved by
// conjugate gradients. None without samples or when the counts are out of
// range (below 1, or over WarpMesh::maxPoints nodes).
std::optional<std::vector<std::array<double, 2>>>
fitDepartures(std::int64_t cols, std::int64_t rows, std::span<const DepartureSample> samples,
              const DepartureFitOptions& options = {});

} // namespace prismeta::calibration
