#include "geometry/BlendBands.h"

#include "core/OutputConfig.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace prismeta
