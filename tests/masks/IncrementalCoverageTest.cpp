// Redrawing only what a drag changes gives the image a whole redraw gives.
#include "masks/IncrementalCoverage.h"
#include "masks/CoverageChange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

namespace prismeta {
namespace {

Mask wavy(int count, float feather, float cx, float cy, float radius) {
    Mask mask;
    mask.feather = feather;
    const double step = 2 * std::numbers::pi / count;
    for (int i = 0; i < count; ++i) {
        const double a = i * step;
        const double r = radius * (1.0 + 0.1 * std::sin(5 * a));
        const auto x = static_cast<float>(cx + r * std::cos(a));
        const auto y = static_cast<float>(cy + r * std::sin(a));
        const auto tx = static_cast<float>(-std::sin(a) * r * step / 3);
        const auto ty = static_cast<float>(std::cos(a) * r * step / 3);
        mask.points.push_back(MaskPoint{x, y, Pt{x - tx, y - ty}, Pt{x + tx, y + ty}});
    }
    return mask;
}

// The largest difference between two images of one size, and how many
// pixels differ at all.
std::pair<int, int> difference(const CoverageImage& a, const CoverageImage& b) {
    int largest = 0;
    int count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const int d = std::abs(a.at(x, y) - b.at(x, y));
            largest = std::max(largest, d);
            count += d != 0 ? 1 : 0;
        }
    }
    return {largest, count};
}

TEST(IncrementalCoverage, RandomDragsGiveTheImageOfAWholeRedraw) {
    // Feathered Bézier masks, one inverted, one polygon without feather, on
    // an output's crop whose pixels are wider than high, one mask running
    // off the image.
    std::vector<Mask> masks = {wavy(40, 0.06f, 0.45f, 0.5f, 0.3f),
                               wavy(12, 0.0f, 0.7f, 0.4f, 0.15f),
                               wavy(24, 0.03f, 0.3f, 0.35f, 0.12f)};
    masks[2].invert = true;
    masks.push_back(Mask{});
    masks[3].feather = 0.04f;
    masks[3].points = {MaskPoint{0.6f, 0.8f, {}, {}}, MaskPoint{1.1f, 0.75f, {}, {}},
                       MaskPoint{0.95f, 1.05f, {}, {}}};
    const MaskSpace space{0.2, 0.1, 0.8, 0.8};
    const int width = 240;
    const int height = 90;
    IncrementalCoverage coverage;
    EXPECT_EQ(coverage.update(masks, space, width, height), (PixelRect{0, 0, width, height}));

    std::mt19937 random(24);
    std::uniform_real_distribution<float> small(-0.02f, 0.02f);
    std::uniform_real_distribution<float> large(-0.3f, 0.3f);
    int partial = 0;
    for (int drag = 0; drag < 120; ++drag) {
        Mask& mask = masks[random() % masks.size()];
        MaskPoint& point = mask.points[random() % mask.points.size()];
        const bool far = random() % 8 == 0;
        const float dx = far ? large(random) : small(random);
        const float dy = far ? large(random) : small(random);
        switch (random() % 3) {
        case 0: // the point with its handles, as the editor drags it
            point.x += dx;
            point.y += dy;
            for (auto* handle : {&point.in, &point.out}) {
                if (*handle) {
                    (*handle)->x += dx;
                    (*handle)->y += dy;
                }
            }
            break;
        case 1:
            point.out = Pt{point.x + dx, point.y + dy};
            break;
        default:
            point.in = std::nullopt;
            point.x += dx;
            break;
        }
        const PixelRect redrawn = coverage.update(masks, space, width, height);
        partial += redrawn.width * redrawn.height < width * height ? 1 : 0;
        const CoverageImage whole = rasterizeMasks(masks, space, width, height);
        ASSERT_EQ(coverage.image().width, width);
        const auto [largest, count] = difference(coverage.image(), whole);
        ASSERT_LE(largest, 1) << "drag " << drag << ": " << count << " pixels differ";
    }
    // Most drags redrew a part of the image only.
    EXPECT_GT(partial, 80);
}

TEST(IncrementalCoverage, ALargeImageInBandsOnTwoThreadsMatchesItsPartsRedrawnAlone) {
    // 1200 x 1100 pixels: rasterised whole in bands of 512 rows shared by
    // two threads; each part of 100 rows below on its own, in one piece.
    std::vector<Mask> masks = {wavy(30, 0.1f, 0.5f, 0.5f, 0.35f), wavy(9, 0.0f, 0.5f, 0.45f, 0.1f)};
    masks[1].invert = true;
    const MaskSpace space{0, 0, 1.5, 1};
    const CoverageImage whole = rasterizeMasks(masks, space, 1200, 1100);
    CoverageImage parts = whole;
    std::fill(parts.pixels.begin(), parts.pixels.end(), 7);
    for (int y = 0; y < 1100; y += 100) {
        rasterizeMasksRegion(masks, space, parts, PixelRect{0, y, 1200, 100});
    }
    const auto [largest, count] = difference(parts, whole);
    EXPECT_LE(largest, 1) << count << " pixels differ";
}

TEST(IncrementalCoverage, APathOfStraightEdgesAcrossAndDownMadeSlantedIsRedrawnWhole) {
    // An L with its edges between pixel rows: Cairo fills it as boxes until
    // a corner moves off the grid, then anti-aliases the rows the drag did
    // not touch differently (by up to 9 levels).
    const auto at = [](float x, float y) { return MaskPoint{x, y, {}, {}}; };
    Mask l;
    l.points = {at(0.103f, 0.113f), at(0.903f, 0.113f),  at(0.903f, 0.507f),
                at(0.503f, 0.507f), at(0.503f, 0.9135f), at(0.103f, 0.9135f)};
    std::vector<Mask> masks{l};
    IncrementalCoverage coverage;
    coverage.update(masks, MaskSpace{}, 300, 200);
    masks[0].points[2].x += 0.011f;
    EXPECT_EQ(coverage.update(masks, MaskSpace{}, 300, 200), (PixelRect{0, 0, 300, 200}));
    EXPECT_EQ(difference(coverage.image(), rasterizeMasks(masks, MaskSpace{}, 300, 200)).first, 0);
    // Both corners of the step moved down together: still boxes, redrawn in part.
    masks = {l};
    coverage.update(masks, MaskSpace{}, 300, 200);
    masks[0].points[2].y += 0.0117f;
    masks[0].points[3].y += 0.0117f;
    EXPECT_LT(coverage.update(masks, MaskSpace{}, 300, 200).height, 200);
    EXPECT_LE(difference(coverage.image(), rasterizeMasks(masks, MaskSpace{}, 300, 200)).first, 1);
}

TEST(IncrementalCoverage, OnlyPointMovesAreRedrawnInPart) {
    const std::vector<Mask> before = {wavy(40, 0.05f, 0.5f, 0.5f, 0.3f)};
    const MaskSpace space;
    std::vector<Mask> after = before;
    after[0].name = "renamed";
    EXPECT_EQ(changedCoverage(before, after, space, 200, 100), PixelRect{});
    // A point moved: the rows of its two segments and the feather band
    // around them (0.05 is 5 pixels down), no more.
    after[0].points[10].x += 0.01f;
    const auto moved = changedCoverage(before, after, space, 200, 100);
    ASSERT_TRUE(moved.has_value());
    EXPECT_EQ(moved->width, 200);
    EXPECT_GT(moved->height, 10);
    EXPECT_LT(moved->height, 30);
    after = before;
    after[0].feather = 0.1f;
    EXPECT_FALSE(changedCoverage(before, after, space, 200, 100).has_value());
    after = before;
    after[0].points.pop_back();
    EXPECT_FALSE(changedCoverage(before, after, space, 200, 100).has_value());
    after = before;
    after[0].points[3].y = std::nanf("");
    EXPECT_FALSE(changedCoverage(before, after, space, 200, 100).has_value());
    after = before;
    after.push_back(before[0]);
    EXPECT_FALSE(changedCoverage(before, after, space, 200, 100).has_value());

    // Another size or space redraws the whole image.
    IncrementalCoverage coverage;
    coverage.update(before, space, 200, 100);
    EXPECT_EQ(coverage.update(before, space, 100, 100), (PixelRect{0, 0, 100, 100}));
    EXPECT_EQ(coverage.update(before, MaskSpace{0, 0, 2, 1}, 100, 100),
              (PixelRect{0, 0, 100, 100}));
}

} // namespace
} // namespace prismeta
