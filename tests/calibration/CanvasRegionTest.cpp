#include "calibration/CanvasRegion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace prismeta::calibration {
namespace {

TEST(CanvasRegion, LargestRectangleOfTheAspectInsideTheLitArea) {
    // A lit disc of radius 100 centred at (150, 120): the largest 2:1
    // rectangle inside has half-diagonal 100, so it is 178.9 x 89.4.
    const int w = 320;
    const int h = 240;
    std::vector<std::uint8_t> lit(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double dx = x + 0.5 - 150.0;
            const double dy = y + 0.5 - 120.0;
            lit[static_cast<std::size_t>(y) * w + x] = dx * dx + dy * dy <= 100.0 * 100.0;
        }
    }
    const auto r = largestCanvasRectangle(lit, w, h, 2.0);
    ASSERT_TRUE(r);
    const double rw = (*r)[1].x - (*r)[0].x;
    const double rh = (*r)[3].y - (*r)[0].y;
    EXPECT_NEAR(rw / rh, 2.0, 0.03);
    EXPECT_GT(rh, 85.0);
    EXPECT_LE(rh, 91.0);
    for (const Vec2& c : *r) {
        EXPECT_LE(std::hypot(c.x - 150.0, c.y - 120.0), 101.0);
    }
    EXPECT_FALSE(largestCanvasRectangle(std::vector<std::uint8_t>(lit.size(), 0), w, h, 2.0));
}

TEST(CanvasRegion, CornersMustFormAQuadrilateralInOrder) {
    EXPECT_TRUE(canvasToCamera({Vec2{10, 10}, {200, 20}, {190, 120}, {5, 100}}));
    // Crossed (top-right and bottom-right swapped), collinear, not a number.
    EXPECT_FALSE(canvasToCamera({Vec2{10, 10}, {190, 120}, {200, 20}, {5, 100}}));
    EXPECT_FALSE(canvasToCamera({Vec2{0, 0}, {10, 0}, {20, 0}, {0, 10}}));
    EXPECT_FALSE(canvasToCamera({Vec2{NAN, 0}, {10, 0}, {10, 10}, {0, 10}}));
    const auto h = canvasToCamera({Vec2{10, 10}, {200, 20}, {190, 120}, {5, 100}});
    const Vec2 br = h->apply({1, 1});
    EXPECT_NEAR(br.x, 190, 1e-9);
    EXPECT_NEAR(br.y, 120, 1e-9);
}

} // namespace
} // namespace prismeta::calibration
