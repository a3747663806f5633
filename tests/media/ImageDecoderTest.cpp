#include "media/ImageDecoder.h"

#include "MediaFixtures.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ostream>

namespace prismeta {
namespace {

using fixtures::Rgba8;
using testfiles::TempDir;

constexpr int imageWidth = 64;
constexpr int imageHeight = 48;

// Four quadrants, so each corner of the picture has its own colour: red at
// the top-left, green top-right, blue bottom-right, yellow bottom-left.
Rgba8 quadrant(int x, int y, int pictureWidth, int pictureHeight) {
    const bool right = x >= pictureWidth / 2;
    const bool bottom = y >= pictureHeight / 2;
    if (!bottom) {
        return right ? Rgba8{0, 255, 0, 255} : Rgba8{255, 0, 0, 255};
    }
    return right ? Rgba8{0, 0, 255, 255} : Rgba8{255, 255, 0, 255};
}

::testing::AssertionResult near(const std::uint8_t* pixel, Rgba8 expected, int tolerance) {
    const int channels[4] = {expected.r, expected.g, expected.b, expected.a};
    for (int c = 0; c < 4; ++c) {
        if (std::abs(pixel[c] - channels[c]) > tolerance) {
            return ::testing::AssertionFailure()
                   << "pixel (" << int(pixel[0]) << ", " << int(pixel[1]) << ", " << int(pixel[2])
                   << ", " << int(pixel[3]) << ") expected (" << channels[0] << ", " << channels[1]
                   << ", " << channels[2] << ", " << channels[3] << ") within " << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}

// The corners of a decoded quadrant picture, sampled a little inside so
// that lossy chroma subsampling at the quadrant borders does not matter.
void expectQuadrantCorners(const PixelImage& image, int tolerance) {
    const int inset = std::max(1, image.width / 8);
    const int right = image.width - 1 - inset;
    const int bottom = image.height - 1 - inset;
    EXPECT_TRUE(near(image.pixel(inset, inset), {255, 0, 0, 255}, tolerance)) << "top-left";
    EXPECT_TRUE(near(image.pixel(right, inset), {0, 255, 0, 255}, tolerance)) << "top-right";
    EXPECT_TRUE(near(image.pixel(right, bottom), {0, 0, 255, 255}, tolerance)) << "bottom-right";
    EXPECT_TRUE(near(image.pixel(inset, bottom), {255, 255, 0, 255}, tolerance)) << "bottom-left";
}

struct StillFormat {
    const char* file;
    const char* encoder;
    int tolerance;
};

void PrintTo(const StillFormat& f, std::ostream* os) {
    *os << f.encoder << " in " << f.file;
}

class EveryStillFormat : public ::testing::TestWithParam<StillFormat> {};

TEST_P(EveryStillFormat, DecodesToRgbaWithTheFirstRowAtTheTop) {
    const StillFormat format = GetParam();
    if (!fixtures::hasEncoder(format.encoder)) {
        GTEST_SKIP() << format.encoder << " is not in this FFmpeg";
    }
    TempDir dir("still");
    const std::string path = dir.file(format.file);
    ASSERT_TRUE(
        fixtures::writeStill(path, format.encoder, imageWidth, imageHeight,
                             [](int x, int y) { return quadrant(x, y, imageWidth, imageHeight); }));
    const auto image = decodeImageFile(path);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, imageWidth);
    EXPECT_EQ(image->height, imageHeight);
    EXPECT_EQ(image->order, ChannelOrder::rgba);
    ASSERT_EQ(image->pixels.size(), std::size_t{imageWidth * imageHeight * 4});
    expectQuadrantCorners(*image, format.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EveryStillFormat,
    ::testing::Values(StillFormat{"a.png", "png", 0}, StillFormat{"a.jpg", "mjpeg", 12},
                      StillFormat{"a.bmp", "bmp", 0}, StillFormat{"a.tiff", "tiff", 0},
                      StillFormat{"a.tga", "targa", 0}, StillFormat{"a.gif", "gif", 8},
                      StillFormat{"a.webp", "libwebp", 16}),
    [](const ::testing::TestParamInfo<StillFormat>& param) {
        return std::string(param.param.encoder);
    });

TEST(ImageDecoder, KeepsStoredValuesAndStraightAlpha) {
    TempDir dir("still");
    const std::string path = dir.file("alpha.png");
    // No colour management and no premultiplication: what is stored comes out.
    ASSERT_TRUE(fixtures::writeStill(path, "png", 8, 8, [](int x, int) {
        return x < 4 ? Rgba8{100, 150, 200, 128} : Rgba8{7, 8, 9, 0};
    }));
    const auto image = decodeImageFile(path);
    ASSERT_TRUE(image.has_value());
    EXPECT_TRUE(near(image->pixel(1, 1), {100, 150, 200, 128}, 0));
    EXPECT_TRUE(near(image->pixel(6, 6), {7, 8, 9, 0}, 0));
}

TEST(ImageDecoder, ScalesAStillAboveTheTextureLimitDownWithItsAspect) {
    TempDir dir("still");
    const std::string path = dir.file("wide.png");
    ASSERT_TRUE(fixtures::writeStill(path, "png", 300, 100,
                                     [](int x, int y) { return quadrant(x, y, 300, 100); }));
    ImageLimits limits;
    limits.maxDimension = 64;
    const auto image = decodeImageFile(path, limits);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 64);
    EXPECT_EQ(image->height, 21); // 100 * 64 / 300, rounded
    expectQuadrantCorners(*image, 2);

    limits.maxDimension = 300; // exactly at the limit: untouched
    const auto full = decodeImageFile(path, limits);
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->width, 300);
    EXPECT_EQ(full->height, 100);
}

// A PNG whose header claims 100,000 x 100,000 pixels, followed by a few bytes
// of image data: refused from the header, without allocating ten billion
// pixels (which would fail or take long).
std::string hugePngHeader() {
    const auto crc = [](const std::string& bytes) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (unsigned char byte : bytes) {
            c ^= byte;
            for (int k = 0; k < 8; ++k) {
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            }
        }
        return c ^ 0xFFFFFFFFu;
    };
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        return be32(static_cast<std::uint32_t>(data.size())) + type + data + be32(crc(type + data));
    };
    const std::string ihdr = be32(100000) + be32(100000) + std::string("\x08\x06\x00\x00\x00", 5);
    const std::string idat("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", idat) +
           chunk("IEND", "");
}

TEST(ImageDecoder, RefusesPicturesBeyondThePixelBudgetFromTheHeader) {
    TempDir dir("still");
    const std::string huge = dir.file("huge.png");
    testfiles::writeBytes(huge, hugePngHeader());
    const long peakBefore = fixtures::processStatusKiB("VmHWM");
    EXPECT_FALSE(decodeImageFile(huge).has_value());
    // Refused from the header: nothing of the 40 GB picture was decoded.
    EXPECT_LT(fixtures::processStatusKiB("VmHWM") - peakBefore, 64 * 1024);

    // The budget is the caller's: a small picture above a small budget is
    // refused too, and accepted once it fits.
    const std::string small = dir.file("small.png");
    ASSERT_TRUE(fixtures::writeStill(small, "png", 64, 48,
                                     [](int x, int y) { return quadrant(x, y, 64, 48); }));
    ImageLimits limits;
    limits.maxPixels = 64 * 48 - 1;
    EXPECT_FALSE(decodeImageFile(small, limits).has_value());
    limits.maxPixels = 64 * 48;
    EXPECT_TRUE(decodeImageFile(small, limits).has_value());
}

TEST(ImageDecoder, BadFilesGiveNoImageAndNeverBlock) {
    TempDir dir("still");
    const std::string png = dir.file("good.png");
    const std::string jpeg = dir.file("good.jpg");
    const std::string tiff = dir.file("good.tiff");
    // Busy content, so that a cut lands in the middle of the picture data.
    const auto pixel = [](int x, int y) {
        return Rgba8{static_cast<std::uint8_t>(x * x + y), static_cast<std::uint8_t>(y * 7 ^ x),
                     static_cast<std::uint8_t>(x * y), 255};
    };
    ASSERT_TRUE(fixtures::writeStill(png, "png", 256, 192, pixel));
    ASSERT_TRUE(fixtures::writeStill(jpeg, "mjpeg", 256, 192, pixel));
    ASSERT_TRUE(fixtures::writeStill(tiff, "tiff", 256, 192, pixel));

    testfiles::writeBytes(dir.file("empty.png"), "");
    testfiles::writeBytes(dir.file("text.png"), "this is not a picture at all, only words\n");
    testfiles::writeTruncated(png, dir.file("cut.png"), 0.6);
    testfiles::writeTruncated(jpeg, dir.file("cut.jpg"), 0.6);
    testfiles::writeTruncated(tiff, dir.file("cut.tiff"), 0.6);
    std::string corrupt = testfiles::readBytes(png);
    for (std::size_t i = 40; i < corrupt.size() - 12; i += 3) {
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    }
    testfiles::writeBytes(dir.file("corrupt.png"), corrupt);
    ASSERT_TRUE(testfiles::makeFifo(dir.file("pipe.png")));

    for (const std::string& path :
         {dir.file("missing.png"), dir.file("empty.png"), dir.file("text.png"), dir.file("cut.png"),
          dir.file("cut.jpg"), dir.file("cut.tiff"), dir.file("corrupt.png"), dir.path(),
          dir.file("pipe.png"), std::string("/dev/zero"),
          // the system would stop at the NUL and open good.png
          png + std::string(1, '\0') + "missing.png"}) {
        EXPECT_FALSE(decodeImageFile(path).has_value()) << path;
    }
}

TEST(ImageDecoder, StopsWhenCancelled) {
    TempDir dir("still");
    const std::string png = dir.file("good.png");
    ASSERT_TRUE(fixtures::writeStill(png, "png", 64, 48,
                                     [](int x, int y) { return quadrant(x, y, 64, 48); }));
    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(decodeImageFile(png, {}, &cancel).has_value());
}

} // namespace
} // namespace prismeta
