// Converting decoded pictures: the memory it may touch and the tags it reads.
//
// swscale writes whole vector blocks, past the last row of a destination
// sized exactly stride * height: by 32 bytes for an 854 x 480 video in the
// player's 32-byte-aligned rows, by up to 60 for small stills in tight rows.
// Those bytes landed in the next heap block. Every caller now leaves
// PixelConverter::destinationSlack after the last row; nothing beyond it is
// ever touched.
#include "media/PixelConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <vector>

namespace prismeta {
namespace {

struct Case {
    AVPixelFormat source;
    int width;
    int height;
    int outWidth;
    int outHeight;
    int rowAlignment; // 4: tight rows, as stills; 32: the video player's rows
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << av_get_pix_fmt_name(c.source) << " " << c.width << "x" << c.height << " to "
        << c.outWidth << "x" << c.outHeight << ", rows aligned to " << c.rowAlignment;
}

class ConversionBounds : public ::testing::TestWithParam<Case> {};

TEST_P(ConversionBounds, WritesNothingBeyondTheSlackAfterTheLastRow) {
    const Case c = GetParam();
    AVFrame* frame = av_frame_alloc();
    ASSERT_NE(frame, nullptr);
    frame->format = c.source;
    frame->width = c.width;
    frame->height = c.height;
    ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane] != nullptr; ++plane) {
        std::memset(frame->buf[plane]->data, 0x80, frame->buf[plane]->size);
    }

    for (const AVPixelFormat out : {AV_PIX_FMT_BGRA, AV_PIX_FMT_RGBA}) {
        for (const auto quality :
             {PixelConverter::Quality::fast, PixelConverter::Quality::smooth}) {
            const int stride =
                (c.outWidth * 4 + c.rowAlignment - 1) / c.rowAlignment * c.rowAlignment;
            const std::size_t picture = static_cast<std::size_t>(stride) * c.outHeight;
            const std::size_t guard = 512;
            std::vector<std::uint8_t> memory(picture + PixelConverter::destinationSlack + guard,
                                             0xEE);
            PixelConverter converter(quality);
            ASSERT_TRUE(
                converter.convert(*frame, out, c.outWidth, c.outHeight, memory.data(), stride));
            for (std::size_t i = picture + PixelConverter::destinationSlack; i < memory.size();
                 ++i) {
                ASSERT_EQ(memory[i], 0xEE) << "byte " << i - picture << " past the last row";
            }
        }
    }
    av_frame_free(&frame);
}

INSTANTIATE_TEST_SUITE_P(Overrunning, ConversionBounds,
                         ::testing::Values(Case{AV_PIX_FMT_YUV420P, 854, 480, 854, 480, 32},
                                           Case{AV_PIX_FMT_YUV420P, 1366, 768, 1366, 768, 32},
                                           Case{AV_PIX_FMT_YUV420P, 1, 8, 1, 8, 4},
                                           Case{AV_PIX_FMT_YUV420P, 2, 2, 2, 2, 4},
                                           Case{AV_PIX_FMT_YUVJ420P, 37, 11, 37, 11, 4},
                                           Case{AV_PIX_FMT_YUV420P, 75, 9, 50, 5, 4},
                                           Case{AV_PIX_FMT_RGB24, 33, 7, 22, 4, 4},
                                           Case{AV_PIX_FMT_PAL8, 5, 3, 5, 3, 4}));

// A damaged stream may tag its pictures with numbers that are no colour
// matrix or range at all; they count as untagged.
TEST(PixelConverter, ColourTagsThatAreNoKnownValueCountAsUntagged) {
    AVFrame* frame = av_frame_alloc();
    ASSERT_NE(frame, nullptr);
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = 16;
    frame->height = 8;
    ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? 8 : 4;
        std::memset(frame->data[plane], plane == 0 ? 180 : 60,
                    static_cast<std::size_t>(frame->linesize[plane]) * rows);
    }
    std::vector<std::uint8_t> untagged(16 * 8 * 4 + PixelConverter::destinationSlack);
    PixelConverter reference(PixelConverter::Quality::fast);
    ASSERT_TRUE(reference.convert(*frame, AV_PIX_FMT_RGBA, 16, 8, untagged.data(), 16 * 4));

    const int bogus = 243;
    std::memcpy(&frame->colorspace, &bogus, sizeof bogus);
    std::memcpy(&frame->color_range, &bogus, sizeof bogus);
    std::vector<std::uint8_t> damaged(untagged.size());
    PixelConverter converter(PixelConverter::Quality::fast);
    ASSERT_TRUE(converter.convert(*frame, AV_PIX_FMT_RGBA, 16, 8, damaged.data(), 16 * 4));
    EXPECT_TRUE(std::equal(damaged.begin(), damaged.begin() + 16 * 8 * 4, untagged.begin()));
    av_frame_free(&frame);
}

} // namespace
} // namespace prismeta
