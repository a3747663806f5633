// Why a media file gives no picture, in the words of the log line that names
// it: each kind of fault with its own reason, and no fault for sound files.
#include "media/MediaProblem.h"

#include "MediaFixtures.h"
#include "TestFiles.h"
#include "media/ImageDecoder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace prismeta {
namespace {

std::string textOf(const std::string& path, bool video) {
    const auto problem = diagnoseMediaFile(path, video);
    return problem ? problem->text() : "sound";
}

TEST(MediaProblem, EachFaultIsNamedWithItsReason) {
    const testfiles::TempDir dir("media-problems");
    const std::string clip = dir.file("clip.mp4");
    fixtures::VideoSpec spec;
    spec.encoder = "mpeg4";
    spec.frames = 3;
    ASSERT_TRUE(fixtures::writeVideo(clip, spec));
    testfiles::writeBytes(dir.file("text.mov"), std::string(4000, 'x'));
    testfiles::writeTruncated(clip, dir.file("cut.mp4"), 0.1);

    EXPECT_EQ(textOf(clip, true), "sound");
    EXPECT_EQ(textOf(dir.file("absent.mp4"), true), "not found");
    EXPECT_EQ(textOf(dir.file("absent/clip.mp4"), true), "not found");
    EXPECT_EQ(textOf(clip + std::string(1, '\0') + "x", true), "not found");
    // Not found as the show's media checks have it, so that its log and the
    // command line say the same of one file.
    std::filesystem::create_symlink("loop.mp4", dir.file("loop.mp4"));
    EXPECT_EQ(textOf(dir.file("loop.mp4"), true), "not found");
    EXPECT_EQ(textOf(dir.file(std::string(300, 'n') + ".mp4"), false), "not found");
    EXPECT_EQ(textOf(dir.file("text.mov"), true),
              "cannot be decoded: Invalid data found when processing input");
    EXPECT_EQ(textOf(dir.path(), true), "cannot be decoded: Is a directory");
    EXPECT_EQ(textOf(dir.file("cut.mp4"), true).rfind("cannot be decoded: ", 0), 0u);
    // A damaged still is refused by the still decoder, which decodes
    // strictly: it is not sound, whatever a lenient decoder makes of it.
    const std::string jpeg = dir.file("still.jpg");
    ASSERT_TRUE(fixtures::writeStill(jpeg, "mjpeg", 256, 192, [](int x, int y) {
        return fixtures::Rgba8{static_cast<std::uint8_t>(x * x + y),
                               static_cast<std::uint8_t>(y * 7 ^ x),
                               static_cast<std::uint8_t>(x * y), 255};
    }));
    testfiles::writeTruncated(jpeg, dir.file("cut.jpg"), 0.6);
    ASSERT_TRUE(fixtures::writeStill(dir.file("still.png"), "png", 64, 48, [](int, int) {
        return fixtures::Rgba8{9, 9, 9, 255};
    }));
    EXPECT_EQ(textOf(jpeg, false), "sound");
    EXPECT_FALSE(decodeImageFile(dir.file("cut.jpg")));
    EXPECT_EQ(textOf(dir.file("cut.jpg"), false).rfind("cannot be decoded: ", 0), 0u);
    // A still whose header asks for more pixels than a still may have is
    // refused for its size, not as a fault, and never decoded at that size.
    std::string huge = testfiles::readBytes(dir.file("still.png"));
    const unsigned char side[] = {0x00, 0x00, 0x3F, 0x48}; // 16,200 (big-endian)
    huge.replace(16, 4, reinterpret_cast<const char*>(side), 4);
    huge.replace(20, 4, reinterpret_cast<const char*>(side), 4);
    testfiles::writeBytes(dir.file("huge.png"), huge);
    EXPECT_EQ(textOf(dir.file("huge.png"), false), "sound");
    if (fixtures::writeAudioOnly(dir.file("sound.wav"))) {
        EXPECT_EQ(textOf(dir.file("sound.wav"), true), "cannot be decoded: no video stream");
        EXPECT_EQ(textOf(dir.file("sound.wav"), false), "cannot be decoded: no picture in it");
    }
}

} // namespace
} // namespace prismeta
