#include "geometry/ProjectiveWeights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace prismeta {
namespace {

using Weights = std::array<float, 4>;
constexpr Weights linear = {1, 1, 1, 1};

Weights weights(std::vector<Pt> corners) {
    return projectiveWeights(corners);
}

void expectNear(const Weights& actual, const Weights& expected, float tolerance) {
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "weight " << i;
    }
}

TEST(ProjectiveWeights, ParallelogramsWeighTwoEverywhere) {
    // The crossing is the exact midpoint here, and (d + d) / d is exactly 2.
    EXPECT_EQ(weights({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), (Weights{2, 2, 2, 2}));
    expectNear(weights({{0.1f, 0.2f}, {0.7f, 0.3f}, {0.9f, 0.8f}, {0.3f, 0.7f}}), {2, 2, 2, 2},
               1e-5f);
}

TEST(ProjectiveWeights, TrapezoidWeighsTheWideEdgeTwiceTheNarrowOne) {
    // Diagonals cross at (2, 4/3): a third of the way from the narrow edge.
    expectNear(weights({{0, 0}, {4, 0}, {3, 2}, {1, 2}}), {3, 3, 1.5f, 1.5f}, 1e-5f);
}

TEST(ProjectiveWeights, GeneralConvexQuad) {
    expectNear(weights({{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}}),
               {2.2791f, 2.3902f, 1.7818f, 1.7193f}, 1e-4f);
}

TEST(ProjectiveWeights, ConcaveQuadIsWeighedWithoutComplaint) {
    // The diagonal lines cross at (0.5, 0.5), beyond corner 2 at (0.2, 0.2):
    // distances sqrt(0.5), sqrt(0.5), sqrt(0.18), sqrt(0.5).
    const float a = std::sqrt(0.5f);
    const float b = std::sqrt(0.18f);
    expectNear(weights({{0, 0}, {1, 0}, {0.2f, 0.2f}, {0, 1}}), {(a + b) / b, 2, (b + a) / a, 2},
               1e-5f);
}

TEST(ProjectiveWeights, AnyCountOtherThanFourIsLinear) {
    EXPECT_EQ(weights({}), linear);
    EXPECT_EQ(weights({{0, 0}, {4, 0}, {3, 2}}), linear);
    EXPECT_EQ(weights({{0, 0}, {4, 0}, {3, 2}, {1, 2}, {0, 1}}), linear);
}

TEST(ProjectiveWeights, DegenerateDiagonalsAreLinear) {
    EXPECT_EQ(weights({{0.5f, 0.5f}, {1, 0}, {0.5f, 0.5f}, {0, 1}}), linear); // 0 and 2 coincide
    EXPECT_EQ(weights({{0, 0}, {1, 0}, {2, 0}, {3, 0}}), linear);             // parallel
    // Corner 1 is the crossing point itself.
    EXPECT_EQ(weights({{0, 0}, {0.5f, 0.5f}, {1, 1}, {0, 1}}), linear);
}

TEST(ProjectiveWeights, DeterminantThresholdIsOneEMinusEight) {
    // A square of side s has cross(d1, d2) = 2 s^2.
    const auto square = [](float s) { return weights({{0, 0}, {s, 0}, {s, s}, {0, s}}); };
    EXPECT_EQ(square(1e-4f), (Weights{2, 2, 2, 2})); // 2e-8: still projective
    EXPECT_EQ(square(5e-5f), linear);                // 5e-9: below the threshold
}

TEST(ProjectiveWeights, DistanceThresholdIsOneEMinusSix) {
    // Corner 1 sits delta * sqrt(2) from the crossing (0.5, 0.5) of the lines
    // y = x and x + y = 1.
    const auto nearCrossing = [](float delta) {
        return weights({{0, 0}, {0.5f + delta, 0.5f - delta}, {1, 1}, {0, 1}});
    };
    EXPECT_EQ(nearCrossing(3e-7f), linear);
    const Weights w = nearCrossing(4e-6f);
    EXPECT_NE(w, linear);
    EXPECT_GT(w[3], 1e4f); // (d3 + d1) / d1 with d1 tiny
}

TEST(ProjectiveWeights, NotANumberPropagates) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Weights w = weights({{0, 0}, {1, 0}, {1, nan}, {0, 1}});
    EXPECT_TRUE(std::isnan(w[0]) || std::isnan(w[1]) || std::isnan(w[2]) || std::isnan(w[3]));
}

} // namespace
} // namespace prismeta
