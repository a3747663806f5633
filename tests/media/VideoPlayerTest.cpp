#include "media/VideoPlayer.h"

#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ostream>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

using namespace videotest;
using testfiles::TempDir;

constexpr int clipFrames = 12;

struct Codec {
    const char* file;
    const char* encoder;
    // Matroska stores times in milliseconds.
    double timeTolerance;
};

void PrintTo(const Codec& c, std::ostream* os) {
    *os << c.encoder << " in " << c.file;
}

// Each test gets its own small clip of the frame-number pattern: 12 pictures
// at 30 fps, so the loop is 0.4 s long.
class VideoPlayback : public ::testing::TestWithParam<Codec> {
protected:
    void SetUp() override {
        if (!fixtures::hasEncoder(GetParam().encoder)) {
            GTEST_SKIP() << GetParam().encoder << " is not in this FFmpeg";
        }
        path_ = dir_.file(GetParam().file);
        fixtures::VideoSpec spec;
        spec.encoder = GetParam().encoder;
        spec.frames = clipFrames;
        ASSERT_TRUE(fixtures::writeVideo(path_, spec));
    }

    TempDir dir_{"video"};
    std::string path_;
};

TEST_P(VideoPlayback, ShowsThePictureDueAndLoopsWithoutGapOrHold) {
    const double start = 1000.0;
    VideoPlayer player(path_, start, start);
    // A 60 Hz render loop over two and a half loops: every picture is due for
    // two render frames, so each must be shown exactly once, in order, and
    // the one after the last is picture 0 again, one frame duration later.
    std::vector<int> sequence;
    std::vector<double> times;
    for (int step = 0; step < 60; ++step) {
        const double t = (step + 0.5) / 60.0;
        const VideoFrameLease lease = player.waitFrameDue(start + t, patience);
        if (lease) {
            EXPECT_EQ(numberOf(*lease), dueNumber(t, clipFrames)) << "at media time " << t;
            EXPECT_LE(lease->time, t);
            sequence.push_back(numberOf(*lease));
            times.push_back(lease->time);
        }
    }
    ASSERT_EQ(sequence.size(), 30u);
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        EXPECT_EQ(sequence[i], static_cast<int>(i % clipFrames));
        EXPECT_NEAR(times[i], static_cast<double>(i) / fps, GetParam().timeTolerance);
    }
}

TEST_P(VideoPlayback, LatePicturesAreSkippedToTheNewestDue) {
    const double start = 50.0;
    VideoPlayer player(path_, start, start);
    // Each lease is let go once checked, as the renderer does after upload.
    const auto expectShown = [&](double t, int number, double timeline) {
        const VideoFrameLease lease = player.waitFrameDue(start + t, patience);
        ASSERT_TRUE(lease) << "at " << t;
        EXPECT_EQ(numberOf(*lease), number) << "at " << t;
        EXPECT_NEAR(lease->time, timeline / fps, GetParam().timeTolerance) << "at " << t;
    };
    expectShown(0.01, 0, 0);
    // The renderer stalled: at 0.25 s pictures 1 to 6 are all past; only 7 is
    // worth showing. Asking again at the same time gives nothing new.
    expectShown(0.25, 7, 7);
    EXPECT_FALSE(player.frameDue(start + 0.25));
    // Across the loop point too: 0.95 s is picture 28 of the timeline, 4 of
    // the file.
    expectShown(0.95, 4, 28);
    // Nearly seven loops later (a hidden window shown again): picture 112 of
    // the timeline, 4 of the file, and playback goes on from there.
    expectShown(3.75, 4, 112);
    Screen screen;
    for (int step = 1; step <= 20; ++step) {
        const double t = 3.76 + step / 60.0; // never on a frame boundary
        screen.step(player, start + t);
        EXPECT_EQ(screen.shown, dueNumber(t, clipFrames)) << "at " << t;
    }
}

TEST_P(VideoPlayback, PicturesAreBgraOfTheVideoSizeOrScaledToTheLimit) {
    VideoOptions options;
    options.maxDimension = 32;
    VideoPlayer player(path_, 0.0, 0.0, options);
    const VideoFrameLease lease = player.waitFrameDue(0.01, patience);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease->width, 32);
    EXPECT_EQ(lease->height, 24);
    EXPECT_GE(lease->stride, 32 * 4);
    EXPECT_EQ(lease->stride % 4, 0);
    EXPECT_EQ(numberOf(*lease), 0);
    EXPECT_EQ(lease->pixels[3], 255); // alpha last, opaque
}

TEST_P(VideoPlayback, ReleaseStopsAndJoinsTheDecodingThread) {
    const int before = VideoPlayer::liveDecoderThreads();
    {
        // Never polled: the decoder fills its buffers and waits for a slot.
        VideoPlayer idle(path_, 0.0, 0.0);
        VideoPlayer busy(path_, 0.0, 0.0);
        EXPECT_TRUE(busy.waitFrameDue(0.2, patience));
        EXPECT_EQ(VideoPlayer::liveDecoderThreads(), before + 2);
        EXPECT_TRUE(idle.decoding());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(idle.decoding()) << "a looping video never ends by itself";
    }
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), before);

    // Released right after it started, while still opening the file: each
    // release ends its thread (bench_media times it).
    for (int i = 0; i < 5; ++i) {
        VideoPlayer brief(path_, 0.0, 0.0);
    }
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), before);
}

INSTANTIATE_TEST_SUITE_P(Codecs, VideoPlayback,
                         ::testing::Values(Codec{"clip.mp4", "libx264", 1e-9},
                                           Codec{"clip.avi", "mpeg4", 1e-9},
                                           Codec{"clip.mkv", "mjpeg", 1e-3}),
                         [](const ::testing::TestParamInfo<Codec>& param) {
                             return std::string(param.param.encoder);
                         });

TEST(VideoPlayer, CatchesUpWithinALongLoopAfterTheRendererStalled) {
    const bool h264 = fixtures::hasEncoder("libx264");
    TempDir dir("video");
    fixtures::VideoSpec spec;
    spec.encoder = h264 ? "libx264" : "mpeg4";
    spec.frames = 90; // a 3 s loop, key frames every 12 pictures
    // A transport stream's jumps land by decode time, an MP4's by its index.
    for (const std::string name : {h264 ? "long.mp4" : "long.avi", "long.ts"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(fixtures::writeVideo(path, spec));
        VideoPlayer player(path, 0.0, 0.0);
        const VideoFrameLease first = player.waitFrameDue(0.01, patience);
        ASSERT_TRUE(first);
        EXPECT_EQ(numberOf(*first), 0);
        Screen screen;
        for (int step = 0; step < 30; ++step) {
            const double t = 2.5 + step / 60.0;
            screen.step(player, t);
            ASSERT_EQ(screen.shown, dueNumber(t, 90)) << name << " at " << t;
        }
    }
}

TEST(VideoPlayer, AStillOpenedAsAVideoIsShownOnceAndNotDecodedAgain) {
    TempDir dir("video");
    const std::string path = dir.file("still.png");
    ASSERT_TRUE(fixtures::writeStill(
        path, "png", 64, 48, [](int x, int) { return fixtures::frameNumberPixel(0, x, 64); }));
    // From the start, and joining a playback that has run for a while.
    for (const double now : {0.0, 7.3}) {
        VideoPlayer player(path, 0.0, now);
        const VideoFrameLease lease = player.waitFrameDue(now + 5.0, patience);
        ASSERT_TRUE(lease);
        EXPECT_EQ(numberOf(*lease), 0);
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (player.decoding() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_FALSE(player.decoding());
    }
}

TEST(VideoPlayer, PlaysTheVideoOfAFileWithSoundAndIgnoresTheSound) {
    if (!fixtures::hasEncoder("libx264")) {
        GTEST_SKIP();
    }
    TempDir dir("video");
    fixtures::VideoSpec spec;
    spec.withAudio = true;
    ASSERT_TRUE(fixtures::writeVideo(dir.file("sound.mp4"), spec));
    VideoPlayer player(dir.file("sound.mp4"), 0.0, 0.0);
    Screen screen;
    for (int step = 0; step < 20; ++step) {
        screen.step(player, (step + 0.5) / 30.0);
        EXPECT_EQ(screen.shown, dueNumber((step + 0.5) / 30.0, 12));
    }
}

TEST(VideoPlayer, FilesThatCannotPlayNeverDeliverAndTheirThreadEnds) {
    TempDir dir("video");
    fixtures::VideoSpec spec;
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    const std::string good = dir.file("good.mp4");
    ASSERT_TRUE(fixtures::writeVideo(good, spec));
    testfiles::writeBytes(dir.file("empty.mp4"), "");
    testfiles::writeBytes(dir.file("text.mp4"), std::string(5000, 'x'));
    // The index of an MP4 is written last: a cut file has none.
    testfiles::writeTruncated(good, dir.file("cut.mp4"), 0.7);
    std::string corrupt = testfiles::readBytes(good);
    for (std::size_t i = 0; i < corrupt.size(); i += 2) {
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0xA5);
    }
    testfiles::writeBytes(dir.file("corrupt.mp4"), corrupt);
    ASSERT_TRUE(fixtures::writeAudioOnly(dir.file("sound.wav")));
    // A raw stream whose header claims 100,000 x 100,000 pictures.
    testfiles::writeBytes(dir.file("huge.y4m"),
                          "YUV4MPEG2 W100000 H100000 F30:1 C420jpeg\nFRAME\n" +
                              std::string(4096, '\x80'));
    ASSERT_TRUE(testfiles::makeFifo(dir.file("pipe.mp4")));

    const int before = VideoPlayer::liveDecoderThreads();
    const std::vector<std::string> paths = {dir.file("missing.mp4"), dir.file("empty.mp4"),
                                            dir.file("text.mp4"),    dir.file("cut.mp4"),
                                            dir.file("corrupt.mp4"), dir.file("huge.y4m"),
                                            dir.file("sound.wav"),   dir.path(),
                                            dir.file("pipe.mp4"),    "/dev/zero"};
    for (const std::string& path : paths) {
        VideoPlayer player(path, 0.0, 0.0);
        EXPECT_FALSE(player.waitFrameDue(1.0, patience)) << path;
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (player.decoding() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_FALSE(player.decoding()) << path;
    }
    // Absurd dimensions: a picture size beyond the budget is refused from the
    // header, before anything is decoded.
    VideoOptions tiny;
    tiny.maxPixels = 64 * 48 - 1;
    VideoPlayer refused(good, 0.0, 0.0, tiny);
    EXPECT_FALSE(refused.waitFrameDue(1.0, patience));
    EXPECT_FALSE(refused.decoding());

    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (VideoPlayer::liveDecoderThreads() > before + 1 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Y'CbCr to R'G'B' for limited-range 8-bit video, from the matrix's luma
// coefficients (Kr, Kb): the reference the decoder's conversion must meet.
std::array<double, 3> limitedYuvToRgb(double y, double cb, double cr, double kr, double kb) {
    const double kg = 1.0 - kr - kb;
    const double luma = (y - 16.0) / 219.0;
    const double pb = (cb - 128.0) / 224.0;
    const double pr = (cr - 128.0) / 224.0;
    const double r = luma + 2.0 * (1.0 - kr) * pr;
    const double b = luma + 2.0 * (1.0 - kb) * pb;
    const double g = (luma - kr * r - kb * b) / kg;
    const auto byte = [](double v) { return std::clamp(v, 0.0, 1.0) * 255.0; };
    return {byte(r), byte(g), byte(b)};
}

struct MatrixCase {
    int width;
    int height;
    int tag; // AVColorSpace: 1 = BT.709, 2 = untagged
    double kr;
    double kb;
};

void PrintTo(const MatrixCase& c, std::ostream* os) {
    *os << c.width << "x" << c.height << ", colour space tag " << c.tag;
}

class ColourMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(ColourMatrix, FollowsTheStreamTagOrTheResolutionWhenUntagged) {
    const MatrixCase c = GetParam();
    TempDir dir("matrix");
    fixtures::VideoSpec spec;
    spec.encoder = "mpeg4";
    spec.width = c.width;
    spec.height = c.height;
    spec.frames = 2;
    spec.yuv = std::array<std::uint8_t, 3>{110, 90, 200};
    spec.colorspaceTag = c.tag;
    const std::string path = dir.file("tagged.mkv");
    ASSERT_TRUE(fixtures::writeVideo(path, spec));
    VideoPlayer player(path, 0.0, 0.0);
    const VideoFrameLease lease = player.waitFrameDue(0.01, patience);
    ASSERT_TRUE(lease);
    const auto expected = limitedYuvToRgb(110, 90, 200, c.kr, c.kb);
    const std::uint8_t* centre = lease->pixels +
                                 static_cast<std::ptrdiff_t>(lease->height / 2) * lease->stride +
                                 (lease->width / 2) * 4;
    EXPECT_NEAR(centre[2], expected[0], 3.0) << "red";
    EXPECT_NEAR(centre[1], expected[1], 3.0) << "green";
    EXPECT_NEAR(centre[0], expected[2], 3.0) << "blue";
}

INSTANTIATE_TEST_SUITE_P(Matrices, ColourMatrix,
                         ::testing::Values(MatrixCase{64, 48, 2, 0.299, 0.114},
                                           MatrixCase{64, 48, 1, 0.2126, 0.0722},
                                           MatrixCase{1280, 720, 2, 0.2126, 0.0722}));

} // namespace
} // namespace prismeta
