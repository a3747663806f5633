#include "geometry/SmoothMesh.h"

#include "core/WarpMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace prismeta {
namespace {

// A keystone: the unit square onto a trapezoid with a perspective tilt.
ProjectiveMap keystoneMap() {
    return *ProjectiveMap::fromUnitSquare({{{0.1, 0.2}, {0.9, 0.1}, {0.8, 0.95}, {0.15, 0.8}}});
}

WarpMesh meshOn(const ProjectiveMap& h, std::int64_t cols, std::int64_t rows) {
    WarpMesh mesh{cols, rows, {}};
    for (std::int64_t r = 0; r <= rows; ++r) {
        for (std::int64_t c = 0; c <= cols; ++c) {
            const auto p = *h.apply(double(c) / double(cols), double(r) / double(rows));
            mesh.points.push_back({float(p[0]), float(p[1])});
        }
    }
    return mesh;
}

TEST(SmoothMesh, AMeshOnAHomographysGridIsThatHomographyEverywhere) {
    const ProjectiveMap h = keystoneMap();
    for (const auto& [cols, rows] : {std::pair{1, 1}, {2, 1}, {4, 3}, {7, 5}}) {
        const auto map = SmoothMeshMap::from(meshOn(h, cols, rows));
        ASSERT_TRUE(map);
        for (double u = -0.2; u <= 1.2; u += 0.07) {
            for (double v = -0.2; v <= 1.2; v += 0.09) {
                const auto expected = *h.apply(u, v);
                const Pt got = *map->map(u, v);
                // Only the mesh points' float rounding separates the two.
                EXPECT_NEAR(got.x, expected[0], 2e-6)
                    << cols << "x" << rows << " at " << u << "," << v;
                EXPECT_NEAR(got.y, expected[1], 2e-6)
                    << cols << "x" << rows << " at " << u << "," << v;
            }
        }
    }
}

TEST(SmoothMesh, ABentMeshPassesThroughEveryPointWithContinuousSlopeAndInverts) {
    WarpMesh mesh = meshOn(keystoneMap(), 4, 3);
    mesh.points[6].x += 0.03f; // an interior point pulled aside
    mesh.points[6].y += 0.04f;
    mesh.points[3].y -= 0.02f; // a border point too
    const auto map = SmoothMeshMap::from(mesh);
    ASSERT_TRUE(map);
    for (std::int64_t r = 0; r <= 3; ++r) {
        for (std::int64_t c = 0; c <= 4; ++c) {
            const Pt got = *map->map(double(c) / 4, double(r) / 3);
            const Pt want = mesh.points[std::size_t(r * 5 + c)];
            EXPECT_NEAR(got.x, want.x, 1e-6);
            EXPECT_NEAR(got.y, want.y, 1e-6);
        }
    }
    // The slope just left and just right of each interior cell border agree,
    // where drawing every cell as its own quad would kink.
    const double e = 1e-5;
    for (const double u : {0.25, 0.5, 0.75}) {
        for (const double v : {0.2, 0.5, 0.8}) {
            const Pt a = *map->map(u - 2 * e, v), b = *map->map(u - e, v);
            const Pt c = *map->map(u + e, v), d = *map->map(u + 2 * e, v);
            EXPECT_NEAR((b.x - a.x) / e, (d.x - c.x) / e, 2e-2) << u << "," << v;
            EXPECT_NEAR((b.y - a.y) / e, (d.y - c.y) / e, 2e-2) << u << "," << v;
        }
    }
    for (double u = 0.0; u <= 1.0; u += 0.1) {
        for (double v = 0.0; v <= 1.0; v += 0.1) {
            const auto back = map->inverse(*map->map(u, v));
            ASSERT_TRUE(back) << u << "," << v;
            EXPECT_NEAR(back->x, u, 1e-5);
            EXPECT_NEAR(back->y, v, 1e-5);
        }
    }
}

TEST(SmoothMesh, TermsAreAPartitionOfUnityThatKeepsLinearDeparturesExact) {
    // Linear departures must come out exactly linear, also beyond the border,
    // where the ghost nodes' linear extrapolation decides.
    for (const auto& [cols, rows] : {std::pair{1, 1}, {1, 4}, {3, 2}, {6, 6}}) {
        for (double u = -0.3; u <= 1.3; u += 0.11) {
            for (double v = -0.3; v <= 1.3; v += 0.13) {
                const SmoothMeshTerms t = smoothMeshTerms(cols, rows, u, v);
                double sum = 0.0;
                double linearPart = 0.0;
                for (int k = 0; k < t.count; ++k) {
                    const auto& term = t.terms[std::size_t(k)];
                    ASSERT_GE(term.index, 0);
                    ASSERT_LT(term.index, (cols + 1) * (rows + 1));
                    const double c = double(term.index % (cols + 1)) / cols;
                    const double r = double(term.index / (cols + 1)) / rows;
                    sum += term.weight;
                    linearPart += term.weight * (3.0 * c - 2.0 * r + 0.5);
                }
                EXPECT_NEAR(sum, 1.0, 1e-12);
                EXPECT_NEAR(linearPart, 3.0 * u - 2.0 * v + 0.5, 1e-12);
            }
        }
    }
}

TEST(SmoothMesh, MeshesThatCannotBeDrawnAreRefused) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    WarpMesh withNan = meshOn(keystoneMap(), 2, 2);
    withNan.points[4] = {nan, 0.5f};
    WarpMesh collinearCorners{1, 1, {{0, 0}, {0.5f, 0}, {1, 0}, {0, 0}}};
    WarpMesh tooFewPoints{2, 2, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    for (const WarpMesh& mesh : {withNan, collinearCorners, tooFewPoints}) {
        EXPECT_FALSE(SmoothMeshMap::from(mesh));
    }
}

} // namespace
} // namespace prismeta
