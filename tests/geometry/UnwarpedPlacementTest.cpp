// Where an unwarped output lies on its raster: the letterbox a window shows,
// and the warp the editor starts from, which must be the same picture.
#include "geometry/UnwarpedPlacement.h"

#include <gtest/gtest.h>

#include <limits>

namespace prismeta {
namespace {

TEST(UnwarpedPlacement, TheCropFitsCentredWithEdgesOnWholePixels) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double cropWidth, cropHeight;
        int rasterWidth, rasterHeight;
        RasterRect expected;
    };
    for (const Case& c : {
             // A 1104 x 1080 crop on a 1280 x 1080 projector: 88 px bars.
             Case{1104, 1080, 1280, 1080, {88, 0, 1104, 1080}},
             // Pillarboxed with a fractional fit: 355.6 wide from 222.2.
             Case{960, 1080, 800, 400, {222, 0, 356, 400}},
             // Letterboxed: bars above and below.
             Case{1920, 1080, 1000, 1000, {0, 219, 1000, 562}},
             Case{16, 9, 1920, 1080, {0, 0, 1920, 1080}},
             Case{0, 1080, 1920, 1080, {}},
             Case{1920, 1080, 0, 1080, {}},
             Case{nan, 1080, 1920, 1080, {}},
         }) {
        const RasterRect r = unwarpedRect(c.cropWidth, c.cropHeight, c.rasterWidth, c.rasterHeight);
        EXPECT_EQ(r, c.expected) << c.cropWidth << "x" << c.cropHeight << " on " << c.rasterWidth
                                 << "x" << c.rasterHeight;
        // The warp puts the crop's corners on that rectangle's corners.
        const OutputWarp warp =
            unwarpedPlacement(c.cropWidth, c.cropHeight, c.rasterWidth, c.rasterHeight);
        EXPECT_FALSE(warp.mesh);
        if (r.empty()) {
            EXPECT_EQ(warp.corners, identityWarpCorners);
            continue;
        }
        const float w = static_cast<float>(c.rasterWidth);
        const float h = static_cast<float>(c.rasterHeight);
        EXPECT_FLOAT_EQ(warp.corners[0].x * w, static_cast<float>(r.x));
        EXPECT_FLOAT_EQ(warp.corners[0].y * h, static_cast<float>(r.y));
        EXPECT_FLOAT_EQ(warp.corners[2].x * w, static_cast<float>(r.x + r.width));
        EXPECT_FLOAT_EQ(warp.corners[2].y * h, static_cast<float>(r.y + r.height));
        EXPECT_EQ(warp.corners[1], (Pt{warp.corners[2].x, warp.corners[0].y}));
        EXPECT_EQ(warp.corners[3], (Pt{warp.corners[0].x, warp.corners[2].y}));
    }
}

} // namespace
} // namespace prismeta
