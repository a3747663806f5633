// The least-squares fit of a smooth mesh's departures: it recovers a mesh
// its samples came from, carries the departures on where no sample reaches,
// and keeps pinned corners at none.
#include "calibration/DepartureFit.h"

#include "geometry/SmoothMesh.h"

#include <gtest/gtest.h>

#include <cmath>

namespace prismeta::calibration {
namespace {

using Departures = std::vector<std::array<double, 2>>;

// Samples on a regular grid over the part of the unit square given, of the
// departure field of the nodes `q` (row-major, cols x rows cells).
std::vector<DepartureSample> samplesOf(const Departures& q, int cols, int rows, double uMax) {
    std::vector<DepartureSample> out;
    for (int j = 0; j <= 60; ++j) {
        for (int i = 0; i <= 90; ++i) {
            const double u = uMax * i / 90.0;
            const double v = j / 60.0;
            const SmoothMeshTerms t = smoothMeshTerms(cols, rows, u, v);
            DepartureSample s{u, v, 0.0, 0.0};
            for (int k = 0; k < t.count; ++k) {
                const auto& term = t.terms[static_cast<std::size_t>(k)];
                s.dx += term.weight * q[static_cast<std::size_t>(term.index)][0];
                s.dy += term.weight * q[static_cast<std::size_t>(term.index)][1];
            }
            out.push_back(s);
        }
    }
    return out;
}

TEST(DepartureFit, RecoversTheMeshCarriesItOnAndPinsCorners) {
    constexpr int cols = 8;
    constexpr int rows = 5;
    Departures bent;
    Departures linear;
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= cols; ++c) {
            const double u = double(c) / cols;
            const double v = double(r) / rows;
            bent.push_back({0.01 * std::sin(3.0 * u + v), -0.02 * u * (1.0 - u) * (1.0 + v)});
            linear.push_back({0.01 + 0.02 * u - 0.01 * v, -0.03 * u + 0.005});
        }
    }
    // Samples everywhere: the nodes they came from, within the bending's pull.
    const auto all = fitDepartures(cols, rows, samplesOf(bent, cols, rows, 1.0));
    ASSERT_TRUE(all);
    for (std::size_t i = 0; i < bent.size(); ++i) {
        EXPECT_NEAR((*all)[i][0], bent[i][0], 2e-4) << i;
        EXPECT_NEAR((*all)[i][1], bent[i][1], 2e-4) << i;
    }
    // Samples on the left half only: a linear field goes on across the right.
    const auto half = fitDepartures(cols, rows, samplesOf(linear, cols, rows, 0.5));
    ASSERT_TRUE(half);
    for (std::size_t i = 0; i < linear.size(); ++i) {
        EXPECT_NEAR((*half)[i][0], linear[i][0], 1e-5) << i;
        EXPECT_NEAR((*half)[i][1], linear[i][1], 1e-5) << i;
    }
    // Pinned corners stay at zero whatever the samples ask.
    DepartureFitOptions pinned;
    pinned.pinCorners = true;
    const auto corners = fitDepartures(cols, rows, samplesOf(linear, cols, rows, 1.0), pinned);
    ASSERT_TRUE(corners);
    for (const std::size_t i : {0, cols, rows * (cols + 1), (rows + 1) * (cols + 1) - 1}) {
        EXPECT_EQ((*corners)[i][0], 0.0);
        EXPECT_EQ((*corners)[i][1], 0.0);
    }
    EXPECT_NEAR((*corners)[static_cast<std::size_t>(2 * (cols + 1) + 4)][0],
                linear[static_cast<std::size_t>(2 * (cols + 1) + 4)][0], 2e-3);
    // Nothing to fit.
    EXPECT_FALSE(fitDepartures(cols, rows, {}));
    EXPECT_FALSE(fitDepartures(0, rows, samplesOf(linear, cols, rows, 1.0)));
}

} // namespace
} // namespace prismeta::calibration
