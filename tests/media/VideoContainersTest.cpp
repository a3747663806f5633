// Every container and codec this FFmpeg writes, played and sought the way the
// windows and the command-line renderer do: the exact picture at times across
// several loops, each picture once per loop, and a player that joins a
// running playback showing what the first one shows.
#include "media/VideoFrameAt.h"
#include "media/VideoPlayer.h"

#include "TestFiles.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

namespace prismeta {
namespace {

using namespace videotest;

// Eight pictures at 25 fps: a loop of 0.32 s. Times in every container here
// are exact at 25 fps (Matroska and FLV count milliseconds).
constexpr int pictures = 8;
constexpr double rate = 25.0;
constexpr double loopSeconds = pictures / rate;

int dueAt(double t) {
    return static_cast<int>(static_cast<long long>(std::floor(t * rate + 1e-6)) % pictures);
}

struct Clip {
    const char* name; // the case, in words
    const char* file; // the container, by extension
    const char* encoder;
    int bFrames;
    int gop; // pictures per key frame; 8 means a single one
};

void PrintTo(const Clip& c, std::ostream* os) {
    *os << c.name;
}

class ContainerAndCodec : public ::testing::TestWithParam<Clip> {
protected:
    static void SetUpTestSuite() { dir_ = new testfiles::TempDir("containers"); }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    void SetUp() override {
        const Clip& clip = GetParam();
        if (!fixtures::hasEncoder(clip.encoder)) {
            GTEST_SKIP() << clip.encoder << " is not in this FFmpeg";
        }
        path_ = dir_->file(std::string(clip.name) + "-" + clip.file);
        if (!std::ifstream(path_).good()) {
            fixtures::VideoSpec spec;
            spec.encoder = clip.encoder;
            spec.frames = pictures;
            spec.fps = static_cast<int>(rate);
            spec.gop = clip.gop;
            spec.bFrames = clip.bFrames;
            ASSERT_TRUE(fixtures::writeVideo(path_, spec)) << path_;
        }
    }

    static testfiles::TempDir* dir_;
    std::string path_;
};

testfiles::TempDir* ContainerAndCodec::dir_ = nullptr;

int numberIn(const PixelImage& image) {
    return fixtures::frameNumberOf(image.pixels.data(), image.width * 4, image.width, image.height);
}

TEST_P(ContainerAndCodec, DecodesThePictureDueAtAnyTimeAcrossLoops) {
    // Frame boundaries (0.04, 0.32) count as due; 0.32 is the second loop's
    // first picture, 2.57 s the ninth loop's.
    for (const double t : {0.039, 0.04, 0.31, 0.32, 0.63, 0.77, 1.27, 2.57}) {
        const auto image = decodeVideoFrameAt(path_, t);
        ASSERT_TRUE(image.has_value()) << "no picture at " << t << " s";
        EXPECT_EQ(numberIn(*image), dueAt(t)) << "at " << t << " s";
    }
}

TEST_P(ContainerAndCodec, PlaysEveryPictureOncePerLoopInOrder) {
    const double start = 500.0;
    VideoPlayer player(path_, start, start);
    // A 60 Hz render loop over three loops: every picture is due for two or
    // three render frames, so each is handed out exactly once, at its time.
    std::vector<int> handedOut;
    for (int step = 0; step < 58; ++step) {
        const double t = (step + 0.5) / 60.0;
        const VideoFrameLease lease = player.waitFrameDue(start + t, patience);
        if (lease) {
            const int number = numberOf(*lease);
            EXPECT_EQ(number, dueAt(t)) << "at media time " << t;
            EXPECT_NEAR(lease->time, static_cast<double>(handedOut.size()) / rate, 1e-6)
                << "picture " << handedOut.size();
            handedOut.push_back(number);
        }
    }
    ASSERT_EQ(handedOut.size(), 3u * pictures);
    for (std::size_t i = 0; i < handedOut.size(); ++i) {
        EXPECT_EQ(handedOut[i], static_cast<int>(i % pictures)) << "picture " << i;
    }
}

TEST_P(ContainerAndCodec, APlayerJoiningLaterShowsWhatTheFirstShows) {
    const double start = 900.0;
    VideoPlayer first(path_, start, start);
    Screen firstScreen;
    double t = 0.0;
    for (int step = 0; step < 20; ++step) {
        t = (step + 0.5) / 60.0;
        firstScreen.step(first, start + t);
    }
    // Joins in the third loop and in the ninth: both screens must agree at
    // every frame after that, across the next loop point.
    for (const double joinAt : {0.77, 2.61}) {
        VideoPlayer joining(path_, start, start + joinAt);
        Screen joiningScreen;
        for (int step = 0; step < 30; ++step) {
            t = joinAt + step / 60.0;
            firstScreen.step(first, start + t);
            joiningScreen.step(joining, start + t);
            EXPECT_EQ(firstScreen.shown, dueAt(t)) << "first player at " << t;
            EXPECT_EQ(joiningScreen.shown, firstScreen.shown)
                << "joined at " << joinAt << ", at " << t;
        }
    }
}

// The containers and the codecs each can hold; B-frames where the codec has
// them, and single-key-frame files where seeking has least to go on.
const Clip clips[] = {
    {"H264InMp4", "clip.mp4", "libx264", 0, 4},
    {"H264WithBFramesInMp4", "clip.mp4", "libx264", 2, 4},
    {"HevcInMp4", "clip.mp4", "libx265", -1, 4},
    {"Mpeg2InMp4", "clip.mp4", "mpeg2video", 0, 4},
    {"Mpeg4Part2InMp4", "clip.mp4", "mpeg4", 0, 4},
    {"Mpeg4Part2WithBFramesInMp4", "clip.mp4", "mpeg4", 2, 4},
    {"Vp9InMp4", "clip.mp4", "libvpx-vp9", -1, 4},
    {"MjpegInMp4", "clip.mp4", "mjpeg", 0, 1},

    {"H264InMov", "clip.mov", "libx264", 0, 4},
    {"H264WithBFramesInMov", "clip.mov", "libx264", 2, 4},
    {"HevcInMov", "clip.mov", "libx265", -1, 4},
    {"Mpeg4Part2WithBFramesInMov", "clip.mov", "mpeg4", 2, 4},
    {"MjpegInMov", "clip.mov", "mjpeg", 0, 1},

    {"H264InMatroska", "clip.mkv", "libx264", 0, 4},
    {"H264WithBFramesInMatroska", "clip.mkv", "libx264", 2, 4},
    {"HevcInMatroska", "clip.mkv", "libx265", -1, 4},
    {"Mpeg2WithBFramesInMatroska", "clip.mkv", "mpeg2video", 2, 4},
    {"Mpeg4Part2WithBFramesInMatroska", "clip.mkv", "mpeg4", 2, 4},
    {"Vp9InMatroska", "clip.mkv", "libvpx-vp9", -1, 4},
    {"MjpegInMatroska", "clip.mkv", "mjpeg", 0, 1},

    {"Vp9InWebm", "clip.webm", "libvpx-vp9", -1, 4},

    {"H264InFlv", "clip.flv", "libx264", 0, 4},
    {"H264WithBFramesInFlv", "clip.flv", "libx264", 2, 4},

    {"H264InMpegTs", "clip.ts", "libx264", 0, 4},
    {"H264WithBFramesInMpegTs", "clip.ts", "libx264", 2, 4},
    {"H264WithOneKeyFrameInMpegTs", "clip.ts", "libx264", 2, 8},
    {"HevcInMpegTs", "clip.ts", "libx265", -1, 4},
    {"Mpeg2InMpegTs", "clip.ts", "mpeg2video", 0, 4},
    {"Mpeg2WithBFramesInMpegTs", "clip.ts", "mpeg2video", 2, 4},
    {"Mpeg4Part2WithBFramesInMpegTs", "clip.ts", "mpeg4", 2, 4},

    {"H264WithBFramesInM2ts", "clip.m2ts", "libx264", 2, 4},
    {"H264WithOneKeyFrameInM2ts", "clip.m2ts", "libx264", 0, 8},
    {"HevcInM2ts", "clip.m2ts", "libx265", -1, 4},
    {"Mpeg2WithBFramesInM2ts", "clip.m2ts", "mpeg2video", 2, 4},

    {"H264InAvi", "clip.avi", "libx264", 0, 4},
    {"H264WithBFramesInAvi", "clip.avi", "libx264", 2, 4},
    {"Mpeg4Part2InAvi", "clip.avi", "mpeg4", 0, 4},
    {"Mpeg4Part2WithBFramesInAvi", "clip.avi", "mpeg4", 2, 4},
    {"Mpeg2WithBFramesInAvi", "clip.avi", "mpeg2video", 2, 4},
    {"MjpegInAvi", "clip.avi", "mjpeg", 0, 1},

    {"Mpeg2InMpegPs", "clip.mpg", "mpeg2video", 0, 4},
    {"Mpeg2WithBFramesInMpegPs", "clip.mpg", "mpeg2video", 2, 4},
    {"Mpeg2WithOneKeyFrameInMpegPs", "clip.mpg", "mpeg2video", 2, 8},
    {"H264WithBFramesInMpegPs", "clip.mpg", "libx264", 2, 4},

    {"RawH264", "clip.h264", "libx264", 0, 4},
    {"RawH264WithBFrames", "clip.h264", "libx264", 2, 4},
    {"RawHevc", "clip.hevc", "libx265", -1, 4},
    {"RawMpeg2WithBFrames", "clip.m2v", "mpeg2video", 2, 4},
};

INSTANTIATE_TEST_SUITE_P(Clips, ContainerAndCodec, ::testing::ValuesIn(clips),
                         [](const ::testing::TestParamInfo<Clip>& param) {
                             return std::string(param.param.name);
                         });

// A longer loop in groups of six pictures with two B-frames, as the MPEG
// encoders make them for DVD-like files: MPEG program streams leave the time
// stamp off some pictures, the last one among them, so their times come from
// the stream (the picture before plus its duration). Every picture must show
// for its own tenth of a second in every loop, whether sought or played, and
// in every container alike.
constexpr int longPictures = 30;
constexpr double longRate = 10.0;

class LongLoop : public ::testing::TestWithParam<Clip> {
protected:
    static void SetUpTestSuite() { dir_ = new testfiles::TempDir("long-loops"); }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    void SetUp() override {
        const Clip& clip = GetParam();
        if (!fixtures::hasEncoder(std::string(clip.encoder) == "ffmpeg" ? "mpeg2video"
                                                                        : clip.encoder)) {
            GTEST_SKIP() << clip.encoder << " is not in this FFmpeg";
        }
        path_ = dir_->file(std::string(clip.name) + "-" + clip.file);
        if (std::ifstream(path_).good()) {
            return;
        }
        fixtures::VideoSpec spec;
        spec.encoder = clip.encoder;
        spec.frames = longPictures;
        spec.fps = static_cast<int>(longRate);
        spec.gop = clip.gop;
        spec.bFrames = clip.bFrames;
        if (std::string(clip.encoder) != "ffmpeg") {
            ASSERT_TRUE(fixtures::writeVideo(path_, spec)) << path_;
            return;
        }
        // Muxed by the ffmpeg program itself, as users make such files, from
        // a lossless copy of the pictures.
        spec.encoder = "ffv1";
        const std::string lossless = path_ + ".mkv";
        ASSERT_TRUE(fixtures::writeVideo(lossless, spec));
        const std::string command = "ffmpeg -nostdin -v error -y -i '" + lossless +
                                    "' -c:v mpeg2video -g 6 -bf 2 -f mpeg '" + path_ + "'";
        if (std::system(command.c_str()) != 0) {
            GTEST_SKIP() << "the ffmpeg program is not here";
        }
    }

    static testfiles::TempDir* dir_;
    std::string path_;
};

testfiles::TempDir* LongLoop::dir_ = nullptr;

TEST_P(LongLoop, EveryPictureIsDueForItsOwnTenthInEveryLoop) {
    for (const int loop : {0, 1, 7}) {
        for (int picture = 0; picture < longPictures; ++picture) {
            for (const double within : {0.0, 0.05}) {
                const double t = loop * (longPictures / longRate) + picture / longRate + within;
                const auto image = decodeVideoFrameAt(path_, t);
                ASSERT_TRUE(image.has_value()) << "no picture at " << t << " s";
                EXPECT_EQ(numberIn(*image), picture) << "at " << t << " s";
            }
        }
    }
}

TEST_P(LongLoop, PlaysEveryPictureOncePerLoopInOrder) {
    const double start = 700.0;
    VideoPlayer player(path_, start, start);
    std::vector<int> handedOut;
    for (int step = 0; step < 2 * longPictures * 6; ++step) {
        const double t = (step + 0.5) / 60.0;
        const VideoFrameLease lease = player.waitFrameDue(start + t, patience);
        if (lease) {
            EXPECT_NEAR(lease->time, static_cast<double>(handedOut.size()) / longRate, 1e-6)
                << "picture " << handedOut.size();
            handedOut.push_back(numberOf(*lease));
        }
    }
    ASSERT_EQ(handedOut.size(), 2u * longPictures);
    for (std::size_t i = 0; i < handedOut.size(); ++i) {
        EXPECT_EQ(handedOut[i], static_cast<int>(i % longPictures)) << "picture " << i;
    }
}

const Clip longClips[] = {
    {"Mpeg2InMpegPsMadeByFfmpeg", "clip.mpg", "ffmpeg", 2, 6},
    {"Mpeg2InMpegPs", "clip.mpg", "mpeg2video", 2, 6},
    {"Mpeg2InMpegTs", "clip.ts", "mpeg2video", 2, 6},
    {"Mpeg2InM2ts", "clip.m2ts", "mpeg2video", 2, 6},
    {"Mpeg2InMatroska", "clip.mkv", "mpeg2video", 2, 6},
    {"Mpeg2InMp4", "clip.mp4", "mpeg2video", 2, 6},
    {"Mpeg2InAvi", "clip.avi", "mpeg2video", 2, 6},
    {"RawMpeg2", "clip.m2v", "mpeg2video", 2, 6},
    {"H264InMpegPs", "clip.mpg", "libx264", 2, 6},
    {"H264InMp4", "clip.mp4", "libx264", 2, 6},
};

INSTANTIATE_TEST_SUITE_P(Clips, LongLoop, ::testing::ValuesIn(longClips),
                         [](const ::testing::TestParamInfo<Clip>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
} // namespace prismeta
