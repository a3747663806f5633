#include "render/TestPattern.h"

#include <gtest/gtest.h>

#include <array>

namespace prismeta {
namespace {

class TestPattern : public ::testing::Test {
protected:
    std::array<int, 4> at(int x, int y) const {
        const std::size_t i =
            (static_cast<std::size_t>(y) * 1024 + static_cast<std::size_t>(x)) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
    static std::array<int, 4> grey(int v) { return {v, v, v, 255}; }

    std::vector<std::uint8_t> pixels = makeTestPatternPixels(testPatternSize);
};

TEST_F(TestPattern, IsOpaqueRgbaOf1024Squared) {
    ASSERT_EQ(pixels.size(), 1024u * 1024u * 4u);
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
        ASSERT_EQ(pixels[i], 255) << "pixel " << i / 4;
    }
}

TEST_F(TestPattern, CheckerCellsAlternateFromADarkTopLeft) {
    EXPECT_EQ(at(192, 300), grey(56)); // column 1, row 2
    EXPECT_EQ(at(300, 300), grey(26)); // column 2, row 2
    EXPECT_EQ(at(300, 192), grey(56)); // column 2, row 1
    EXPECT_EQ(at(200, 200), grey(26)); // column 1, row 1
    EXPECT_EQ(at(650, 520), grey(56)); // column 5, row 4
}

TEST_F(TestPattern, GridLinesAreTwoPixelsCentredOnMultiplesOf128) {
    for (int k = 1; k < 8; ++k) {
        const int at128 = k * 128;
        EXPECT_EQ(at(at128 - 1, 300), grey(128)) << k;
        EXPECT_EQ(at(at128, 300), grey(128)) << k;
        EXPECT_NE(at(at128 - 2, 300), grey(128)) << k;
        EXPECT_NE(at(at128 + 1, 300), grey(128)) << k;
        EXPECT_EQ(at(300, at128 - 1), grey(128)) << k;
        EXPECT_EQ(at(300, at128), grey(128)) << k;
        EXPECT_NE(at(300, at128 + 1), grey(128)) << k;
    }
}

TEST_F(TestPattern, CornerMarkersCoverTheCornerCellsUnderTheBorder) {
    const std::array<int, 4> red = {255, 0, 0, 255}, green = {0, 255, 0, 255},
                             blue = {0, 0, 255, 255}, yellow = {255, 255, 0, 255};
    EXPECT_EQ(at(8, 8), red);
    EXPECT_EQ(at(127, 127), red); // over the inner half of grid line 1
    EXPECT_EQ(at(128, 64), grey(128));
    EXPECT_EQ(at(1015, 8), green);
    EXPECT_EQ(at(896, 127), green);
    EXPECT_EQ(at(895, 64), grey(128));
    EXPECT_EQ(at(1015, 1015), blue);
    EXPECT_EQ(at(896, 896), blue);
    EXPECT_EQ(at(8, 1015), yellow);
    EXPECT_EQ(at(127, 896), yellow);
}

TEST_F(TestPattern, WhiteBorderCoversTheOutermostEightPixels) {
    const auto white = grey(255);
    for (int d : {0, 7}) {
        EXPECT_EQ(at(d, 500), white);
        EXPECT_EQ(at(1023 - d, 500), white);
        EXPECT_EQ(at(500, d), white);
        EXPECT_EQ(at(500, 1023 - d), white);
        EXPECT_EQ(at(d, d), white);
    }
    EXPECT_NE(at(8, 500), white);
    EXPECT_NE(at(1015, 500), white);
    EXPECT_NE(at(500, 1015), white);
}

TEST_F(TestPattern, ImpossibleSizesGiveNoPicture) {
    EXPECT_TRUE(makeTestPatternPixels(0).empty());
    EXPECT_TRUE(makeTestPatternPixels(-8).empty());
}

} // namespace
} // namespace prismeta
