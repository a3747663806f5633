#include "geometry/BlendBands.h"

#include "core/OutputConfig.h"

#include <gtest/gtest.h>

#include <limits>

namespace prismeta {
namespace {

struct V {
    float x, y, alpha;
};

void expectBand(const BlendBands& bands, std::size_t start, const std::array<V, 6>& expected) {
    ASSERT_GE(bands.count, start + 6);
    for (std::size_t i = 0; i < 6; ++i) {
        const BlendVertex& v = bands.vertices[start + i];
        EXPECT_FLOAT_EQ(v.pos[0], expected[i].x) << start + i;
        EXPECT_FLOAT_EQ(v.pos[1], expected[i].y) << start + i;
        EXPECT_EQ(v.alpha, expected[i].alpha) << start + i;
    }
}

OutputConfig withBlends(float left, float right, float top, float bottom) {
    OutputConfig o;
    o.blendLeft = left;
    o.blendRight = right;
    o.blendTop = top;
    o.blendBottom = bottom;
    return o;
}

TEST(BlendBands, EveryEdgeInOrderLeftRightTopBottom) {
    const BlendBands bands = blendBands(withBlends(0.1f, 0.2f, 0.3f, 0.4f));
    ASSERT_EQ(bands.count, 24u);
    expectBand(bands, 0,
               {{{0, 0, 1}, {0.1f, 0, 0}, {0.1f, 1, 0}, {0, 0, 1}, {0.1f, 1, 0}, {0, 1, 1}}});
    expectBand(bands, 6,
               {{{0.8f, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0.8f, 0, 0}, {1, 1, 1}, {0.8f, 1, 0}}});
    expectBand(bands, 12,
               {{{0, 0, 1}, {1, 0, 1}, {1, 0.3f, 0}, {0, 0, 1}, {1, 0.3f, 0}, {0, 0.3f, 0}}});
    expectBand(bands, 18,
               {{{0, 0.6f, 0}, {1, 0.6f, 0}, {1, 1, 1}, {0, 0.6f, 0}, {1, 1, 1}, {0, 1, 1}}});
}

TEST(BlendBands, OnlyWidthsAboveZeroMakeABand) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(blendBands(withBlends(0, 0, 0, 0)).count, 0u);
    EXPECT_EQ(blendBands(withBlends(-0.1f, -1, nan, 0)).count, 0u);
    const BlendBands bottomOnly = blendBands(withBlends(0, -0.5f, nan, 0.25f));
    ASSERT_EQ(bottomOnly.count, 6u);
    EXPECT_FLOAT_EQ(bottomOnly.vertices[0].pos[1], 0.75f);
}

TEST(BlendBands, WidthBeyondOneReachesPastTheFarEdge) {
    const BlendBands bands = blendBands(withBlends(2, 0, 0, 0));
    ASSERT_EQ(bands.count, 6u);
    EXPECT_EQ(bands.vertices[1].pos[0], 2.0f); // clipped by the GPU; the far edge gets half
}

} // namespace
} // namespace prismeta
