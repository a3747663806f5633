#include "media/HapDecoder.h"
#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include "HapFixtures.h"
#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace prismeta {
namespace {

namespace hap = fixtures::hap;
using testfiles::TempDir;

constexpr auto patience = std::chrono::seconds(10);

VideoOptions withTextures(BlockTextures textures) {
    VideoOptions options;
    options.blockTextures = textures;
    return options;
}

constexpr BlockTextures all{true, true, true, 16384};

// A player of a HAP file hands out each picture as the blocks its frame
// decompresses to, and says so; the same file for a renderer without the
// textures, or too large for them, comes decoded to BGRA.
TEST(HapPlayer, PicturesComeAsTheirFramesBlocksWhereTheTexturesAllow) {
    if (!fixtures::hasEncoder("hap")) {
        GTEST_SKIP() << "no hap encoder in this FFmpeg";
    }
    TempDir dir("hap-player");
    fixtures::VideoSpec spec;
    spec.encoder = "hap";
    spec.width = 64;
    spec.height = 48;
    spec.frames = 6;
    spec.encoderOptions = "format=hap_q:chunks=3";
    const std::string path = dir.file("clip.mov");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));
    const auto packets = hap::readPackets(path);
    ASSERT_EQ(packets.size(), 6u);

    VideoPlayer player(path, 0.0, 0.0, withTextures(all));
    for (int n = 0; n < 6; ++n) {
        const VideoFrameLease lease = player.waitFrameDue((n + 0.5) / 30.0, patience);
        ASSERT_TRUE(lease) << n;
        EXPECT_EQ(lease->format, PictureFormat::bc3ScaledYCoCg);
        EXPECT_EQ(lease->width, 64);
        EXPECT_EQ(lease->height, 48);
        HapDecoder decoder(64, 48, 0);
        std::vector<std::uint8_t> expected(decoder.prepare(packets[static_cast<std::size_t>(n)]));
        ASSERT_TRUE(decoder.decode(packets[static_cast<std::size_t>(n)], expected.data()));
        ASSERT_EQ(lease->bytes, expected.size());
        EXPECT_EQ(std::memcmp(lease->pixels, expected.data(), expected.size()), 0) << n;
        EXPECT_EQ(lease->alphaPixels, nullptr);
    }
    EXPECT_EQ(player.route(), PictureRoute::blocks);

    struct Case {
        BlockTextures textures;
        PictureRoute route;
    };
    for (const Case c : {Case{{false, true, true, 16384}, PictureRoute::pixelsForLackOfTextures},
                         Case{{true, true, true, 32}, PictureRoute::pixels}}) {
        VideoPlayer pixels(path, 0.0, 0.0, withTextures(c.textures));
        const VideoFrameLease lease = pixels.waitFrameDue(0.01, patience);
        ASSERT_TRUE(lease);
        EXPECT_EQ(lease->format, PictureFormat::bgra8);
        EXPECT_GE(lease->stride, 64 * 4);
        EXPECT_EQ(pixels.route(), c.route);
    }
}

TEST(HapPlayer, OtherCodecsAndUnplayableFilesSayPixels) {
    TempDir dir("hap-player-route");
    fixtures::VideoSpec spec;
    spec.encoder = "mpeg4";
    const std::string path = dir.file("clip.avi");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));
    VideoPlayer mpeg4(path, 0.0, 0.0, withTextures(all));
    ASSERT_TRUE(mpeg4.waitFrameDue(0.01, patience));
    EXPECT_EQ(mpeg4.route(), PictureRoute::pixels);
    VideoPlayer missing(dir.file("missing.mov"), 0.0, 0.0, withTextures(all));
    for (int i = 0; i < 500 && missing.decoding(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(missing.route(), PictureRoute::pixels);
}

// A picture whose Snappy data is corrupt comes empty, in its place in time,
// and the pictures around it as they are.
TEST(HapPlayer, APictureWithCorruptDataComesEmptyAndPlaybackGoesOn) {
    TempDir dir("hap-player-corrupt");
    const auto red = hap::blocks(8, 8, [](int, int) { return hap::solidDxt1({31, 0, 0}); });
    hap::Bytes bad = hap::simpleImage(hap::dxt1, hap::snappy, red);
    for (std::size_t i = 6; i < bad.size(); ++i) {
        bad[i] = 0xFF; // the length survives, the copies do not
    }
    const hap::Bytes good = hap::simpleImage(hap::dxt1, hap::snappy, red);
    const std::string path = dir.file("clip.mov");
    ASSERT_TRUE(hap::writeMovie(path, "Hap1", 8, 8, 30, {good, bad, good}));
    VideoPlayer player(path, 0.0, 0.0, withTextures(all));
    std::vector<bool> empty;
    for (int n = 0; n < 3; ++n) {
        const VideoFrameLease lease = player.waitFrameDue((n + 0.5) / 30.0, patience);
        ASSERT_TRUE(lease) << n;
        empty.push_back(lease->pixels == nullptr);
    }
    EXPECT_EQ(empty, (std::vector<bool>{false, true, false}));
}

// render --time: a HAP picture at a time is its blocks, the picture due then.
TEST(HapPlayer, ThePictureAtATimeIsItsBlocks) {
    TempDir dir("hap-at");
    std::vector<hap::Bytes> frames;
    std::vector<hap::Bytes> blocks;
    for (int n = 0; n < 4; ++n) {
        blocks.push_back(hap::blocks(8, 8, [&](int bx, int) {
            return hap::solidRgtc1(static_cast<std::uint8_t>(n * 60 + bx));
        }));
        frames.push_back(hap::simpleImage(hap::rgtc1, hap::snappy, blocks.back()));
    }
    const std::string path = dir.file("clip.mov");
    ASSERT_TRUE(hap::writeMovie(path, "HapA", 8, 8, 10, frames));
    for (const auto& [seconds, number] :
         std::vector<std::pair<double, int>>{{0.0, 0}, {0.25, 2}, {0.41, 0}, {7.35, 1}}) {
        PictureRoute route = PictureRoute::undecided;
        const auto picture = decodeVideoPictureAt(path, seconds, withTextures(all), &route);
        ASSERT_TRUE(picture.has_value()) << seconds;
        const auto* block = std::get_if<BlockPicture>(&*picture);
        ASSERT_NE(block, nullptr) << seconds;
        EXPECT_EQ(block->format, PictureFormat::bc4);
        EXPECT_EQ(block->blocks, blocks[static_cast<std::size_t>(number)]) << seconds;
        EXPECT_EQ(route, PictureRoute::blocks);
    }
    // Without RGTC the same picture comes decoded by FFmpeg: grey.
    PictureRoute route = PictureRoute::undecided;
    const auto grey =
        decodeVideoPictureAt(path, 0.25, withTextures({true, false, true, 16384}), &route);
    ASSERT_TRUE(grey.has_value());
    const auto* image = std::get_if<PixelImage>(&*grey);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixel(1, 1)[0], 120);
    EXPECT_EQ(route, PictureRoute::pixelsForLackOfTextures);
}

} // namespace
} // namespace prismeta
