#include "geometry/BlendBands.h"

#include "core/OutputConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

// The lift area's sides are the very floats of the bands' inner ends, so no
// pixel is in both and none in neither; edges without a band give way to the
// output's edge, and bands that meet or cross leave no area.
TEST(BlendBands, FreeAreaLiesExactlyInsideTheBands) {
    const auto corners = [](const std::optional<BlendQuad>& area) {
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        for (const BlendVertex& v : area->vertices) {
            x0 = std::min(x0, v.pos[0]);
            x1 = std::max(x1, v.pos[0]);
            y0 = std::min(y0, v.pos[1]);
            y1 = std::max(y1, v.pos[1]);
            EXPECT_EQ(v.alpha, 0.0f);
        }
        return std::array<float, 4>{x0, y0, x1, y1};
    };
    const OutputConfig all = withBlends(0.1f, 0.3f, 0.2f, 0.3f);
    const BlendBands bands = blendBands(all);
    const auto area = blendFreeArea(all);
    ASSERT_TRUE(area);
    EXPECT_EQ(corners(area),
              (std::array<float, 4>{bands.vertices[1].pos[0], bands.vertices[14].pos[1],
                                    bands.vertices[0 + 6].pos[0], bands.vertices[18].pos[1]}));

    const auto none = blendFreeArea(withBlends(-1, std::nanf(""), 0, 0));
    ASSERT_TRUE(none);
    EXPECT_EQ(corners(none), (std::array<float, 4>{0, 0, 1, 1}));

    EXPECT_FALSE(blendFreeArea(withBlends(0.5f, 0.5f, 0, 0)));
    EXPECT_FALSE(blendFreeArea(withBlends(0, 0, 0.7f, 0.4f)));
    EXPECT_FALSE(blendFreeArea(withBlends(2, 0, 0, 0)));
}

} // namespace
} // namespace prismeta
