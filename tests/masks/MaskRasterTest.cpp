// Coverage images against the geometry: where the true path lies, the
// non-zero rule, the feather ramp over measured distances, inverted masks.
#include "masks/MaskRaster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace prismeta {
namespace {

MaskPoint at(float x, float y) {
    return MaskPoint{x, y, std::nullopt, std::nullopt};
}

Mask polygon(std::vector<MaskPoint> points, float feather = 0.0f, bool invert = false) {
    Mask m;
    m.points = std::move(points);
    m.feather = feather;
    m.invert = invert;
    return m;
}

Mask box(float x0, float y0, float x1, float y1, float feather = 0.0f, bool invert = false) {
    return polygon({at(x0, y0), at(x1, y0), at(x1, y1), at(x0, y1)}, feather, invert);
}

double coverage(const CoverageImage& image, int x, int y) {
    return image.at(x, y) / 255.0;
}

TEST(MaskRaster, PolygonEdgesCoverTheShareOfEachPixelInside) {
    // Left edge at 12.8 pixels, right at 48, top at 0.25 * 32 = 8, bottom at 28.8.
    const CoverageImage image =
        rasterizeMasks(std::vector{box(0.2f, 0.25f, 0.75f, 0.9f)}, MaskSpace{}, 64, 32);
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 32);
    EXPECT_EQ(image.at(30, 15), 255);
    EXPECT_EQ(image.at(5, 15), 0);
    EXPECT_EQ(image.at(30, 30), 0);
    EXPECT_NEAR(coverage(image, 12, 15), 0.2, 0.05);
    EXPECT_EQ(image.at(13, 15), 255);
    EXPECT_EQ(image.at(47, 15), 255);
    EXPECT_EQ(image.at(48, 15), 0);
    EXPECT_EQ(image.at(30, 7), 0);
    EXPECT_EQ(image.at(30, 8), 255);
    EXPECT_NEAR(coverage(image, 30, 28), 0.8, 0.05);
}

TEST(MaskRaster, BezierCircleEdgeLiesWithinHalfAPixelOfTheTrueCircle) {
    // Four points with quarter-circle handles: centre (0.5, 0.5), radius 0.4.
    constexpr float r = 0.4f;
    constexpr float h = r * 0.5522847498f;
    Mask circle;
    circle.points = {MaskPoint{0.5f, 0.1f, Pt{0.5f - h, 0.1f}, Pt{0.5f + h, 0.1f}},
                     MaskPoint{0.9f, 0.5f, Pt{0.9f, 0.5f - h}, Pt{0.9f, 0.5f + h}},
                     MaskPoint{0.5f, 0.9f, Pt{0.5f + h, 0.9f}, Pt{0.5f - h, 0.9f}},
                     MaskPoint{0.1f, 0.5f, Pt{0.1f, 0.5f + h}, Pt{0.1f, 0.5f - h}}};
    constexpr int size = 200;
    const CoverageImage image = rasterizeMasks(std::vector{circle}, MaskSpace{}, size, size);
    ASSERT_EQ(image.width, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Signed distance of the pixel's centre outside the circle, in pixels.
            const double outside =
                std::hypot(x + 0.5 - size * 0.5, y + 0.5 - size * 0.5) - r * size;
            const double c = coverage(image, x, y);
            if (outside < -1.0) {
                ASSERT_EQ(image.at(x, y), 255) << x << "," << y;
            } else if (outside > 1.0) {
                ASSERT_EQ(image.at(x, y), 0) << x << "," << y;
            } else {
                // A straight edge through the pixel at that distance covers
                // 0.5 - outside of it; an edge half a pixel off would be 0.5 away.
                ASSERT_NEAR(c, std::clamp(0.5 - outside, 0.0, 1.0), 0.2) << x << "," << y;
            }
        }
    }
}

TEST(MaskRaster, SelfCrossingPathFillsByNonZeroWinding) {
    // A five-pointed star drawn in one stroke: the pentagon in its middle is
    // wound twice, so even-odd would leave it empty; non-zero fills it.
    std::vector<MaskPoint> star;
    for (int i = 0; i < 5; ++i) {
        const double angle = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
        star.push_back(at(static_cast<float>(0.5 + 0.45 * std::cos(angle)),
                          static_cast<float>(0.5 + 0.45 * std::sin(angle))));
    }
    const CoverageImage image = rasterizeMasks(std::vector{polygon(star)}, MaskSpace{}, 100, 100);
    EXPECT_EQ(image.at(50, 50), 255); // the middle, wound twice
    EXPECT_EQ(image.at(50, 12), 255); // the top tip, wound once
    EXPECT_EQ(image.at(50, 90), 0);   // between the two lower tips
    EXPECT_EQ(image.at(2, 2), 0);
}

TEST(MaskRaster, FeatherRampsLinearlyInsideOverTheFeatherInMaskUnits) {
    // 200 x 100 pixels: the 0.1 feather is 20 pixels across and 10 down.
    const CoverageImage image =
        rasterizeMasks(std::vector{box(0.1f, 0.1f, 0.9f, 0.9f, 0.1f)}, MaskSpace{}, 200, 100);
    ASSERT_EQ(image.width, 200);
    const auto ramp = [](double distance) { return std::clamp(distance / 0.1, 0.0, 1.0); };
    // One pixel is 0.005 across (0.05 of the ramp) and 0.01 down (0.1 of it):
    // the ramp must be within half a pixel.
    for (int x = 0; x < 100; ++x) {
        const double d = (x + 0.5) / 200.0 - 0.1;
        ASSERT_NEAR(coverage(image, x, 50), d < 0 ? 0.0 : ramp(d), 0.03) << "column " << x;
    }
    for (int y = 0; y < 50; ++y) {
        const double d = (y + 0.5) / 100.0 - 0.1;
        ASSERT_NEAR(coverage(image, 100, y), d < 0 ? 0.0 : ramp(d), 0.055) << "row " << y;
    }
    // Never outside the path: the feather does not grow the mask.
    EXPECT_EQ(image.at(19, 50), 0);
    // Near a corner the distance is to the nearer edge.
    EXPECT_NEAR(coverage(image, 29, 14), ramp(std::min(29.5 / 200 - 0.1, 14.5 / 100 - 0.1)), 0.055);
}

TEST(MaskRaster, FeatherSeesAPathJustOffTheImage) {
    // The left edge lies 0.02 left of the image: at its first column the
    // ramp is already (0.02 + half a pixel) / 0.1.
    const CoverageImage image =
        rasterizeMasks(std::vector{box(-0.02f, -1.0f, 2.0f, 2.0f, 0.1f)}, MaskSpace{}, 100, 10);
    EXPECT_NEAR(coverage(image, 0, 5), (0.02 + 0.005) / 0.1, 0.05);
    EXPECT_NEAR(coverage(image, 7, 5), (0.02 + 0.075) / 0.1, 0.05);
}

TEST(MaskRaster, NormalMasksUniteAndInvertedOnesCutOut) {
    const MaskSpace space;
    const auto row = [&](std::vector<Mask> masks) {
        const CoverageImage image = rasterizeMasks(masks, space, 8, 2);
        std::vector<int> values;
        for (int x = 0; x < 8; ++x) {
            values.push_back(image.at(x, 1));
        }
        return values;
    };
    const Mask left = box(0, -1, 0.5f, 2);
    const Mask right = box(0.75f, -1, 1, 2);
    const Mask middleCut = box(0.25f, -1, 0.75f, 2, 0, true);
    using V = std::vector<int>;
    EXPECT_EQ(row({}), V(8, 255));
    EXPECT_EQ(row({left}), (V{255, 255, 255, 255, 0, 0, 0, 0}));
    EXPECT_EQ(row({left, right}), (V{255, 255, 255, 255, 0, 0, 255, 255}));
    EXPECT_EQ(row({middleCut}), (V{255, 255, 0, 0, 0, 0, 255, 255}));
    EXPECT_EQ(row({left, right, middleCut}), (V{255, 255, 0, 0, 0, 0, 255, 255}));
    // Disabled masks and masks of fewer than three points draw nothing.
    Mask off = left;
    off.enabled = false;
    const Mask line = polygon({at(0, 0), at(1, 1)});
    EXPECT_EQ(row({off, line}), V(8, 255));
    EXPECT_FALSE(anyMaskDraws(std::vector{off, line}));
    EXPECT_TRUE(anyMaskDraws(std::vector{off, left}));
}

TEST(MaskRaster, OutputSpaceMapsTheCropOntoTheImage) {
    // The right half of the canvas on 20 pixels: a mask over canvas x 0.6 to
    // 0.8 covers pixels 4 to 11.
    const CoverageImage image =
        rasterizeMasks(std::vector{box(0.6f, 0, 0.8f, 1)}, MaskSpace{0.5, 0, 0.5, 1}, 20, 4);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(image.at(x, 2), x >= 4 && x < 12 ? 255 : 0) << x;
    }
}

TEST(MaskRaster, HostileInputGivesAnImageOrNothingAndNeverCrashes) {
    const Mask far = box(-3e38f, -3e38f, 3e38f, 3e38f, 0.5f);
    const CoverageImage image = rasterizeMasks(std::vector{far}, MaskSpace{}, 16, 16);
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(rasterizeMasks(std::vector{far}, MaskSpace{}, 0, 16).width, 0);
    EXPECT_EQ(rasterizeMasks(std::vector{far}, MaskSpace{}, maxCoverageSide + 1, 1).width, 0);
    EXPECT_EQ(rasterizeMasks(std::vector{far}, MaskSpace{0, 0, 0, 1}, 4, 4).width, 0);
    // Only the first maxDrawnMasks masks draw.
    std::vector<Mask> many(Mask::maxDrawnMasks, box(0, 0, 0.5f, 1));
    many.push_back(box(0.5f, 0, 1, 1));
    EXPECT_EQ(rasterizeMasks(many, MaskSpace{}, 4, 1).at(3, 0), 0);
}

} // namespace
} // namespace prismeta
