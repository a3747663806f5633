#include "masks/MaskEdits.h"
#include "masks/MaskRaster.h"

#include <gtest/gtest.h>

#include <cmath>

namespace prismeta {
namespace {

MaskPoint corner(float x, float y) {
    return MaskPoint{x, y, std::nullopt, std::nullopt};
}

Mask square() {
    Mask m;
    m.points = {corner(0.25f, 0.25f), corner(0.75f, 0.25f), corner(0.75f, 0.75f),
                corner(0.25f, 0.75f)};
    return m;
}

Pt bezier(Pt p0, Pt c1, Pt c2, Pt p1, double t) {
    const double u = 1 - t;
    const auto mix = [&](float a, float b, float c, float d) {
        return static_cast<float>(u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c +
                                  t * t * t * d);
    };
    return Pt{mix(p0.x, c1.x, c2.x, p1.x), mix(p0.y, c1.y, c2.y, p1.y)};
}

TEST(MaskEdits, AltClickOnASegmentSplitsItWithoutChangingTheCurve) {
    Mask m = square();
    m.points[1].out = Pt{0.9f, 0.4f};
    m.points[2].in = Pt{0.9f, 0.6f};
    // The curve from point 1 to 2 bulges right to x = 0.75 + 0.75 * 0.15.
    const Pt mid = bezier({0.75f, 0.25f}, {0.9f, 0.4f}, {0.9f, 0.6f}, {0.75f, 0.75f}, 0.5);
    const auto hit = hitPath(m, Pt{mid.x + 0.002f, mid.y}, 0.01f);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->segment, 1u);
    EXPECT_NEAR(hit->t, 0.5f, 0.02f);
    EXPECT_FALSE(hitPath(m, Pt{0.5f, 0.5f}, 0.01f)) << "the middle is far from every segment";

    const Mask before = m;
    ASSERT_TRUE(insertPoint(m, PathHit{1, 0.3f}));
    ASSERT_EQ(m.points.size(), 5u);
    // Both halves trace the old curve: the first at u is the old at 0.3 u,
    // the second at u the old at 0.3 + 0.7 u.
    for (double u : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        const Pt old1 = bezier({0.75f, 0.25f}, {0.9f, 0.4f}, {0.9f, 0.6f}, {0.75f, 0.75f}, 0.3 * u);
        const Pt new1 = bezier({m.points[1].x, m.points[1].y}, *m.points[1].out, *m.points[2].in,
                               {m.points[2].x, m.points[2].y}, u);
        EXPECT_NEAR(new1.x, old1.x, 1e-5);
        EXPECT_NEAR(new1.y, old1.y, 1e-5);
        const Pt old2 =
            bezier({0.75f, 0.25f}, {0.9f, 0.4f}, {0.9f, 0.6f}, {0.75f, 0.75f}, 0.3 + 0.7 * u);
        const Pt new2 = bezier({m.points[2].x, m.points[2].y}, *m.points[2].out, *m.points[3].in,
                               {m.points[3].x, m.points[3].y}, u);
        EXPECT_NEAR(new2.x, old2.x, 1e-5);
        EXPECT_NEAR(new2.y, old2.y, 1e-5);
    }
    // A straight segment gets a corner on the line.
    ASSERT_TRUE(insertPoint(m, PathHit{0, 0.5f}));
    EXPECT_EQ(m.points[1], corner(0.5f, 0.25f));
    EXPECT_FALSE(insertPoint(m, PathHit{99, 0.5f}));
    EXPECT_NE(m, before);
}

TEST(MaskEdits, PointsMoveWithHandlesLoseThemAndNeverGoBelowThree) {
    Mask m = square();
    ASSERT_TRUE(pullSymmetricHandles(m, 0, Pt{0.35f, 0.2f}));
    EXPECT_EQ(*m.points[0].out, (Pt{0.35f, 0.2f}));
    EXPECT_FLOAT_EQ(m.points[0].in->x, 0.15f);
    EXPECT_FLOAT_EQ(m.points[0].in->y, 0.3f);
    ASSERT_TRUE(movePoint(m, 0, Pt{0.3f, 0.3f}));
    EXPECT_FLOAT_EQ(m.points[0].out->x, 0.4f);
    EXPECT_FLOAT_EQ(m.points[0].in->y, 0.35f);
    ASSERT_TRUE(makeCorner(m, 0));
    EXPECT_EQ(m.points[0], corner(0.3f, 0.3f));
    EXPECT_TRUE(removePoint(m, 3));
    EXPECT_FALSE(removePoint(m, 0)) << "three points stay";
    EXPECT_EQ(m.points.size(), 3u);
    EXPECT_FALSE(movePoint(m, 3, Pt{}));
    EXPECT_EQ(snapToGrid(Pt{0.3f, 0.97f}), (Pt{0.3125f, 1.0f}));
}

TEST(MaskEdits, MaskShapesFillThePictureWithTheirShape) {
    constexpr int size = 64;
    for (MaskShape shape :
         {MaskShape::triangle, MaskShape::circle, MaskShape::hexagon, MaskShape::polygon}) {
        const Mask m = makeMaskShape(shape);
        const CoverageImage image = rasterizeMasks(std::vector{m}, MaskSpace{}, size, size);
        EXPECT_EQ(image.at(32, 32), 255) << m.name;
        const bool cornersOut = shape != MaskShape::polygon;
        EXPECT_EQ(image.at(0, 0), cornersOut ? 0 : 255) << m.name;
        EXPECT_EQ(image.at(size - 1, 0), cornersOut ? 0 : 255) << m.name;
    }
    // The circle touches the picture's edges at their middles.
    const CoverageImage circle =
        rasterizeMasks(std::vector{makeMaskShape(MaskShape::circle)}, MaskSpace{}, size, size);
    EXPECT_GE(circle.at(32, 0), 250);
    EXPECT_GE(circle.at(0, 32), 250);
    EXPECT_EQ(circle.at(4, 4), 0);
}

} // namespace
} // namespace prismeta
