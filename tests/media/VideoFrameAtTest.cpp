#include "media/VideoFrameAt.h"

#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

using namespace videotest;

int frameNumberOf(const PixelImage& image) {
    return fixtures::frameNumberOf(image.pixels.data(), image.width * 4, image.width, image.height);
}

TEST(VideoFrameAt, DecodesThePictureDueAtTheTimeModuloTheLoop) {
    testfiles::TempDir dir("frameat");
    const bool h264 = fixtures::hasEncoder("libx264");
    constexpr int frames = 40; // loop of 4/3 s; key frames at 0, 12, 24, 36
    fixtures::VideoSpec spec;
    spec.encoder = h264 ? "libx264" : "mpeg4";
    spec.frames = frames;
    const std::string path = dir.file(h264 ? "clip.mp4" : "clip.avi");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));

    struct Case {
        double seconds;
        int picture;
    };
    // Exact frame times count as due; a loop is 40 pictures; negative times
    // are the start.
    for (const Case c : {Case{0.0, 0}, Case{0.05, 1}, Case{0.1, 3}, Case{0.6999, 20}, Case{1.3, 39},
                         Case{4.0 / 3.0, 0}, Case{1.34, 0}, Case{10.0, 20},
                         Case{10.0 + 35.5 / fps, 15}, Case{-2.0, 0}}) {
        const auto image = decodeVideoFrameAt(path, c.seconds);
        ASSERT_TRUE(image.has_value()) << c.seconds;
        EXPECT_EQ(image->order, ChannelOrder::bgra);
        EXPECT_EQ(image->width, 64);
        EXPECT_EQ(frameNumberOf(*image), c.picture) << "at " << c.seconds << " s";
    }
    EXPECT_FALSE(decodeVideoFrameAt(dir.file("missing.mp4"), 1.0).has_value());
}

} // namespace
} // namespace prismeta
