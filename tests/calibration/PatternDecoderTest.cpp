#include "calibration/PatternDecoder.h"
#include "calibration/PatternSet.h"

#include <gtest/gtest.h>

#include <cmath>

namespace prismeta::calibration {
namespace {

// A camera that sees the projector's raster pixel for pixel, with a linear
// response between levels 20 and 220.
std::vector<GreyImage> shownAsCaptured(const PatternSet& set) {
    std::vector<GreyImage> captures;
    for (std::size_t k = 0; k < set.patterns.size(); ++k) {
        GreyImage image = renderPattern(set, k);
        for (std::uint8_t& v : image.pixels) {
            const double light = std::pow(v / 255.0, set.options.gamma);
            v = static_cast<std::uint8_t>(std::lround(20.0 + 200.0 * light));
        }
        captures.push_back(std::move(image));
    }
    return captures;
}

TEST(PatternDecoder, FullHdOutputFitsTheBudgetAndDecodesEveryPixelAtItsCentre) {
    const PatternSet full = makePatternSet(1920, 1080);
    EXPECT_EQ(full.columnBits, 11);
    EXPECT_EQ(full.rowBits, 11);
    EXPECT_LE(full.patterns.size(), maxPatternsPerOutput);

    // Odd sizes too: the codes beyond the raster are never shown.
    for (const bool phase : {true, false}) {
        PatternOptions options;
        options.phaseShift = phase;
        const PatternSet set = makePatternSet(203, 97, options);
        const DecodedOutput d = decodePatterns(set, shownAsCaptured(set));
        ASSERT_FALSE(d.problem);
        EXPECT_EQ(d.decodedPixels, 203 * 97);
        double worst = 0.0;
        for (int y = 0; y < 97; ++y) {
            for (int x = 0; x < 203; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * 203 + x;
                worst =
                    std::max({worst, std::fabs(d.x[i] - (x + 0.5)), std::fabs(d.y[i] - (y + 0.5))});
            }
        }
        // 8-bit sinusoids are good to a few hundredths of a pixel.
        EXPECT_LT(worst, phase ? 0.1 : 1e-6) << (phase ? "phase" : "Gray code only");
    }
}

TEST(PatternDecoder, RefusesCapturesThatDoNotMatchTheSet) {
    const PatternSet set = makePatternSet(64, 32);
    std::vector<GreyImage> captures = shownAsCaptured(set);
    captures.pop_back();
    EXPECT_TRUE(decodePatterns(set, captures).problem);
    captures = shownAsCaptured(set);
    captures[5] = GreyImage(10, 10);
    EXPECT_TRUE(decodePatterns(set, captures).problem);
}

TEST(PatternDecoder, SaturatedAndUnlitPixelsAreNotDecoded) {
    const PatternSet set = makePatternSet(64, 32);
    std::vector<GreyImage> captures = shownAsCaptured(set);
    // The left half of the camera sees nothing of the projector, the white
    // frame clips everywhere: nothing decodes, the right half counts as lit.
    std::fill(captures[0].pixels.begin(), captures[0].pixels.end(), std::uint8_t{255});
    for (GreyImage& image : captures) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                image.pixels[static_cast<std::size_t>(y) * 64 + x] = 10;
            }
        }
    }
    const DecodedOutput d = decodePatterns(set, captures);
    EXPECT_EQ(d.decodedPixels, 0);
    EXPECT_GT(d.litPixels, 28 * 32);
    EXPECT_LT(d.litPixels, 36 * 32);
    EXPECT_GE(d.saturatedPixels, 32 * 32);
}

} // namespace
} // namespace prismeta::calibration
