#include "geometry/AspectFit.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace prismeta {
namespace {

TEST(AspectFit, LetterboxesTheCanvasInAWideEditor) {
    const ViewRect fit = aspectFit(1920, 1080, 1000, 500);
    const double s = 500.0 / 1080.0;
    EXPECT_DOUBLE_EQ(fit.width, 1920 * s);
    EXPECT_DOUBLE_EQ(fit.height, 500);
    EXPECT_NEAR(fit.x, 55.5556, 1e-4);
    EXPECT_DOUBLE_EQ(fit.y, 0);
    EXPECT_DOUBLE_EQ(fit.midX(), 500);
    EXPECT_DOUBLE_EQ(fit.midY(), 250);
}

TEST(AspectFit, HalfWidthCropInAnOutputWindow) {
    // Canvas 1920 x 1080 with a crop 0.5 wide: content 960 x 1080 in 960 x 540.
    EXPECT_EQ(aspectFit(960, 1080, 960, 540), (ViewRect{240, 0, 480, 540}));
    EXPECT_EQ(aspectFit(1920, 1080, 960, 540), (ViewRect{0, 0, 960, 540}));
}

TEST(AspectFit, AnyNonPositiveOrNonNumberSizeGivesTheEmptyRect) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (auto sizes :
         {std::array{0.0, 1080.0, 960.0, 540.0}, std::array{1920.0, -1.0, 960.0, 540.0},
          std::array{1920.0, 1080.0, 0.0, 540.0}, std::array{1920.0, 1080.0, 960.0, 0.0},
          std::array{nan, 1080.0, 960.0, 540.0}}) {
        const ViewRect fit = aspectFit(sizes[0], sizes[1], sizes[2], sizes[3]);
        EXPECT_EQ(fit, ViewRect{});
        EXPECT_TRUE(fit.isEmpty());
    }
}

} // namespace
} // namespace prismeta
