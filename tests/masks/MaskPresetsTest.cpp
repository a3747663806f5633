#include "masks/MaskPresets.h"
#include "masks/MaskRaster.h"

#include <gtest/gtest.h>

#include <cmath>

namespace prismeta {
namespace {

TEST(MaskPresets, EachFillsTheSquareWithinItsMarginAndDraws) {
    constexpr int size = 100;
    for (MaskPreset preset : allMaskPresets) {
        const Mask mask = makeMaskPreset(preset);
        EXPECT_EQ(mask.name, maskPresetName(preset));
        EXPECT_TRUE(mask.drawable());
        const CoverageImage image = rasterizeMasks(std::vector{mask}, MaskSpace{}, size, size);
        // The centre is in, the margin is out, on every preset.
        EXPECT_EQ(image.at(50, 50), 255) << mask.name;
        for (int i = 0; i < size; ++i) {
            for (const auto& [x, y] :
                 {std::pair{i, 2}, std::pair{i, 97}, std::pair{2, i}, std::pair{97, i}}) {
                ASSERT_EQ(image.at(x, y), 0) << mask.name << " at " << x << "," << y;
            }
        }
    }
    // The ellipse reaches the margin at its four points: (0.5, 0.05) is on it.
    const CoverageImage ellipse =
        rasterizeMasks(std::vector{makeMaskPreset(MaskPreset::ellipse)}, MaskSpace{}, size, size);
    EXPECT_EQ(ellipse.at(50, 6), 255);
    EXPECT_EQ(ellipse.at(50, 4), 0);
    // Its diagonal passes the circle of radius 0.45 at 0.5 - 0.45 / sqrt(2).
    const int diagonal = static_cast<int>(std::lround(size * (0.5 - 0.45 / std::sqrt(2.0))));
    EXPECT_EQ(ellipse.at(diagonal + 2, diagonal + 2), 255);
    EXPECT_EQ(ellipse.at(diagonal - 2, diagonal - 2), 0);
}

TEST(MaskPresets, PlacedPresetMapsPointsAndHandles) {
    const Mask unit = makeMaskPreset(MaskPreset::ellipse);
    const Mask placed = makeMaskPreset(MaskPreset::ellipse, 0.5f, 0.25f, 0.5f, 0.5f);
    ASSERT_EQ(placed.points.size(), unit.points.size());
    for (std::size_t i = 0; i < unit.points.size(); ++i) {
        EXPECT_FLOAT_EQ(placed.points[i].x, 0.5f + unit.points[i].x * 0.5f);
        EXPECT_FLOAT_EQ(placed.points[i].y, 0.25f + unit.points[i].y * 0.5f);
        ASSERT_TRUE(placed.points[i].out);
        EXPECT_FLOAT_EQ(placed.points[i].out->x, 0.5f + unit.points[i].out->x * 0.5f);
    }
}

} // namespace
} // namespace prismeta
