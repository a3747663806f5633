// Videos played once (holding their last picture), their lengths, and a
// player that waits at its first picture for a start given later.
#include "media/PlaybackClock.h"
#include "media/VideoFrameAt.h"
#include "media/VideoLengths.h"
#include "media/VideoPlayer.h"

#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace prismeta {
namespace {

using namespace videotest;
using testfiles::TempDir;

constexpr int clipFrames = 12; // 0.4 s at 30 fps

class PlayOnce : public ::testing::Test {
protected:
    void SetUp() override {
        fixtures::VideoSpec spec;
        spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
        spec.frames = clipFrames;
        ASSERT_TRUE(fixtures::writeVideo(path_, spec));
    }

    static VideoOptions once() {
        VideoOptions options;
        options.once = true;
        return options;
    }

    TempDir dir_{"once"};
    std::string path_ = dir_.file("clip.mp4");
};

TEST_F(PlayOnce, PlaysToItsLastPictureAndHoldsItWithoutLooping) {
    const double start = 50.0;
    VideoPlayer player(path_, start, start, once());
    Screen screen;
    for (int step = 0; step <= 60; ++step) {
        const double t = step / 60.0;
        screen.step(player, start + t);
        EXPECT_EQ(screen.shown, std::min(dueNumber(t, 1000), clipFrames - 1)) << "at " << t;
    }
    // Its thread has ended: nothing more will come.
    EXPECT_FALSE(player.decoding());

    // Joined long after the end (a window opened later, a render past the
    // end): the last picture, at once.
    VideoPlayer late(path_, start, start + 100.0, once());
    Screen lateScreen;
    lateScreen.step(late, start + 100.0);
    EXPECT_EQ(lateScreen.shown, clipFrames - 1);

    const auto frameAt = [&](double seconds) {
        const auto image = decodeVideoFrameAt(path_, seconds, once());
        return image ? fixtures::frameNumberOf(image->pixels.data(), image->width * 4, image->width,
                                               image->height)
                     : -1;
    };
    EXPECT_EQ(frameAt(0.2), 6);
    EXPECT_EQ(frameAt(0.39), clipFrames - 1);
    EXPECT_EQ(frameAt(7.0), clipFrames - 1);
    EXPECT_EQ(frameAt(1e9), clipFrames - 1);
}

TEST_F(PlayOnce, APlayerWithoutAStartWaitsAtItsFirstPicture) {
    VideoPlayer player(path_, PlaybackClock::notStarted, 10.0);
    // Nothing is due before the start is known...
    EXPECT_FALSE(player.waitFrameDue(11.0, std::chrono::milliseconds(200)));
    // ...and once it is, the first picture is due at it, then the rest.
    player.setPlaybackStart(20.0);
    Screen screen;
    screen.step(player, 20.0);
    EXPECT_EQ(screen.shown, 0);
    screen.step(player, 20.0 + 5.0 / 30.0);
    EXPECT_EQ(screen.shown, 5);
}

TEST_F(PlayOnce, LengthsAreMeasuredElsewhereOncePerFileAsItIsOnDisk) {
    VideoLengths lengths;
    EXPECT_EQ(lengths.length(path_).state, VideoLengths::State::measuring);
    EXPECT_EQ(lengths.length(dir_.file("missing.mp4")).state, VideoLengths::State::measuring);
    testfiles::writeBytes(dir_.file("noise.mp4"), std::string(5000, '\x33'));
    lengths.length(dir_.file("noise.mp4"));
    lengths.waitIdle();
    const VideoLengths::Answer clip = lengths.length(path_);
    EXPECT_EQ(clip.state, VideoLengths::State::known);
    EXPECT_NEAR(clip.seconds, clipFrames / fps, 1e-6);
    EXPECT_EQ(lengths.length(dir_.file("missing.mp4")).state, VideoLengths::State::unplayable);
    EXPECT_EQ(lengths.length(dir_.file("noise.mp4")).state, VideoLengths::State::unplayable);

    // A file put in place, or written over with another video, is measured again.
    fixtures::VideoSpec longer;
    longer.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    longer.frames = 2 * clipFrames;
    ASSERT_TRUE(fixtures::writeVideo(dir_.file("missing.mp4"), longer));
    ASSERT_TRUE(fixtures::writeVideo(path_, longer));
    EXPECT_EQ(lengths.length(dir_.file("missing.mp4")).state, VideoLengths::State::measuring);
    EXPECT_EQ(lengths.length(path_).state, VideoLengths::State::measuring);
    lengths.waitIdle();
    EXPECT_NEAR(lengths.length(dir_.file("missing.mp4")).seconds, 2 * clipFrames / fps, 1e-6);
    EXPECT_NEAR(lengths.length(path_).seconds, 2 * clipFrames / fps, 1e-6);

    // Destroyed with a measurement queued or under way: returns promptly.
    auto busy = std::make_unique<VideoLengths>();
    busy->length(path_);
    busy.reset();
}

} // namespace
} // namespace prismeta
