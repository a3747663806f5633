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

// Whether a surface can reach a region (an output's crop): the box of its
// points against the region's, edges touching included.
TEST(CoveredSize, ASurfaceReachesARegionWhereTheBoxesOfBothOverlap) {
    Surface s;
    s.corners = {{0.1f, 0.1f}, {0.4f, 0.15f}, {0.35f, 0.6f}, {0.05f, 0.5f}};
    EXPECT_TRUE(mayCoverRegion(s, 0.0, 0.0, 0.5, 1.0));
    EXPECT_TRUE(mayCoverRegion(s, 0.3, 0.5, 0.5, 0.5)); // a corner of it
    EXPECT_TRUE(mayCoverRegion(s, 0.4, 0.0, 0.6, 1.0)); // touching at x 0.4
    EXPECT_FALSE(mayCoverRegion(s, 0.5, 0.0, 0.5, 1.0));
    EXPECT_FALSE(mayCoverRegion(s, 0.0, 0.7, 1.0, 0.3));
    // A mesh's points decide, bent past the corners.
    s.mesh = WarpMesh::from(s.corners, 1, 1);
    ASSERT_TRUE(s.mesh);
    s.mesh->points[1] = {0.8f, 0.1f};
    EXPECT_TRUE(mayCoverRegion(s, 0.5, 0.0, 0.5, 1.0));
    // Nothing to draw reaches nothing; what cannot be told reaches everything.
    s.mesh.reset();
    s.corners.clear();
    EXPECT_FALSE(mayCoverRegion(s, 0.0, 0.0, 1.0, 1.0));
    s.corners = {{std::numeric_limits<float>::quiet_NaN(), 0}, {0.1f, 0.1f}};
    EXPECT_TRUE(mayCoverRegion(s, 0.5, 0.5, 0.5, 0.5));
    s.corners = {{0.1f, 0.1f}, {0.2f, 0.2f}};
    EXPECT_TRUE(mayCoverRegion(s, std::numeric_limits<double>::infinity(), 0.0, 1.0, 1.0));
}

} // namespace
} // namespace prismeta
