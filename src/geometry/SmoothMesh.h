#pragma once

#include "core/Pt.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta {

struct WarpMesh;

// A 3x3 projective map in double precision, row-major, applied to (x, y, 1).
struct ProjectiveMap {
    std::array<double, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};

    // Nothing when a point maps to infinity (third coordinate zero).
    std::optional<std::array<double, 2>> apply(double x, double y) const;
    std::optional<ProjectiveMap> inverse() const;

    // The map taking the unit square's corners (0,0), (1,0), (1,1), (0,1) to
    // the four points in that order; nothing for a degenerate quad (three
    // corners on a line, two alike).
    static std::optional<ProjectiveMap>
    fromUnitSquare(const std::array<std::array<double, 2>, 4>& quad);
};

// Catmull-Rom weights of the four nodes around a span at t (0..1 inside the
// span; beyond it the same cubic goes on): the uniform spline through nodes
// n[-1], n[0], n[1], n[2] at n[0] + t.
std::array<double, 4> catmullRomWeights(double t);

// One node's share of a smooth mesh's departure at a point: the departures q
// of the (cols + 1) x (rows + 1) nodes, row-major, enter linearly, so the
// departure at (u, v) is the sum of weight * q[index]. The ghost nodes beyond
// the border (q[-1] = 2 q[0] - q[1], likewise at the far ends) are folded
// into the real ones. At most 16 terms; calibration fits q with these.
struct SmoothMeshTerm {
    std::int64_t index = 0;
    double weight = 0.0;
};
struct SmoothMeshTerms {
    std::array<SmoothMeshTerm, 16> terms{};
    int count = 0;
};
SmoothMeshTerms smoothMeshTerms(std::int64_t cols, std::int64_t rows, double u, double v);

// The smooth interpolation of a warp mesh (its "interpolation": "smooth"),
// for a mesh of C cols and R rows with points P[r][c]:
//   H       the homography taking the unit square's corners to P[0][0],
//           P[0][C], P[R][C], P[R][0];
//   q[r][c] = H^-1(P[r][c]) - (c/C, r/R), each point's departure from the
//           homography's grid;
//   Q(u, v) the uniform Catmull-Rom spline through q in both directions at
//           (u C, v R), the nodes beyond the border extrapolated linearly;
//   a picture point (u, v) lands at H((u, v) + Q(u, v)).
// The picture passes through every mesh point, a mesh on a homography's grid
// is exactly that keystone, and the slope is continuous across cell borders.
// Built once per edit of the mesh (it allocates); map() and inverse() do not
// allocate. Pure; any thread.
class SmoothMeshMap {
public:
    // Nothing for a mesh without a valid grid, or whose outer corners make a
    // degenerate quad, or with a point that H^-1 sends to infinity.
    static std::optional<SmoothMeshMap> from(const WarpMesh& mesh);

    std::int64_t cols() const { return cols_; }
    std::int64_t rows() const { return rows_; }
    const ProjectiveMap& homography() const { return h_; }

    // The departure Q at a picture point, in the homography's unit square.
    std::array<double, 2> departure(double u, double v) const;

    // Where picture point (u, v) lands; nothing where H sends it to infinity.
    // Points outside 0..1 follow the border spans' cubics.
    std::optional<Pt> map(double u, double v) const;

    // The picture point that lands on p, by Newton's method from the
    // homography's inverse; nothing when it does not converge (p far outside
    // a strongly bent mesh, or a fold).
    std::optional<Pt> inverse(Pt p) const;

private:
    std::int64_t cols_ = 0;
    std::int64_t rows_ = 0;
    ProjectiveMap h_;
    ProjectiveMap hInverse_;
    std::vector<std::array<double, 2>> q_; // (cols + 1) x (rows + 1), row-major
};

} // namespace prismeta
