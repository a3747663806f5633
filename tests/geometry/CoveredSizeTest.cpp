#include "geometry/CoveredSize.h"

#include "core/Surface.h"

#include <gtest/gtest.h>

#include <limits>

namespace prismeta {
namespace {

TEST(CoveredSize, TheBoxOfThePointsInPixelsRoundedUpWithinOneAndTheCap) {
    Surface s;
    s.corners = {{0.1f, 0.2f}, {0.6f, 0.25f}, {0.55f, 0.7f}, {0.15f, 0.6f}};
    // 0.5 x 0.5 of a 1920 x 1080 view: 960 x 540 (rounded up from float error).
    const PixelSize size = coveredSize(s, 1920.0, 1080.0, 4096);
    EXPECT_NEAR(size.width, 960, 1);
    EXPECT_NEAR(size.height, 540, 1);
    // An output showing a quarter of the canvas sees it four times larger, capped.
    EXPECT_EQ(coveredSize(s, 1920.0 / 0.25, 1080.0 / 0.25, 4096).width, 3841);
    EXPECT_EQ(coveredSize(s, 1e9, 1e9, 4096), (PixelSize{4096, 4096}));
    // A mesh's points set the box, not the corners.
    const std::vector<Pt> unit = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    s.mesh = WarpMesh::from(unit, 2, 2);
    ASSERT_TRUE(s.mesh);
    EXPECT_EQ(coveredSize(s, 100.0, 50.0, 4096), (PixelSize{100, 50}));
    // Degenerate and hostile shapes give the smallest picture.
    s.mesh.reset();
    s.corners = {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}};
    EXPECT_EQ(coveredSize(s, 1920.0, 1080.0, 4096), (PixelSize{1, 1}));
    s.corners = {{0, 0}, {std::numeric_limits<float>::infinity(), 1}};
    EXPECT_EQ(coveredSize(s, 1920.0, 1080.0, 4096), (PixelSize{1, 1}));
    s.corners.clear();
    EXPECT_EQ(coveredSize(s, 1920.0, 1080.0, 4096), (PixelSize{1, 1}));
    s.corners = {{0, 0}, {1, 1}};
    EXPECT_EQ(coveredSize(s, std::numeric_limits<double>::quiet_NaN(), 10.0, 4096),
              (PixelSize{1, 10}));
}

} // namespace
} // namespace prismeta
