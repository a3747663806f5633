// Real media through the renderer: stills and videos made here with FFmpeg's
// encoders, decoded by the FFmpeg backend, drawn into a small framebuffer and
// read back. The backend waits for its decoders at every frame, so what shows
// depends only on the host times drawn, not on this machine's speed.
#include "GlTestSupport.h"
#include "HeadlessCanvas.h"
#include "TestFiles.h"
#include "VideoTestSupport.h"

#include "core/ProjectModel.h"
#include "media/PlaybackClock.h"
#include "media/VideoPlayer.h"
#include "render/FFmpegMediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <thread>

namespace prismeta::test {
namespace {

using namespace videotest;
using testfiles::TempDir;

constexpr int size = 64;
constexpr int clipFrames = 12; // 0.4 s at 30 fps
const std::array<int, 4> placeholder = {38, 38, 43, 255};

MediaBackend waitingBackend() {
    LiveMediaOptions options;
    options.waitForDecoders = true;
    return liveMediaBackend(options);
}

Surface mediaSurface(MediaKind kind, const std::string& path, std::vector<Pt> corners) {
    Surface s;
    s.corners = std::move(corners);
    s.mediaKind = kind;
    s.mediaPath = path;
    return s;
}

// One renderer drawing into its own 64 x 64 framebuffer.
struct Canvas : HeadlessCanvas {
    Canvas(const ProjectModel& model, MediaBackend media)
        : HeadlessCanvas(model, std::move(media), size, size) {}
};

// The frame number shown between columns x0 and x1 of the picture (the
// pattern is grey, so channel order does not matter).
int numberShown(const Picture& picture, int x0 = 0, int x1 = size) {
    return fixtures::frameNumberOf(picture.rgba.data() + x0 * 4, picture.width * 4, x1 - x0,
                                   picture.height);
}

bool near(const std::array<int, 4>& got, const fixtures::Rgba8& want, int tolerance) {
    return std::abs(got[0] - want.r) <= tolerance && std::abs(got[1] - want.g) <= tolerance &&
           std::abs(got[2] - want.b) <= tolerance && got[3] == 255;
}

// Waits until the decoder threads alive are down to count (a thread on a
// file it cannot play ends by itself, a little later).
bool decoderThreadsSettleAt(int count) {
    for (int i = 0; i < 500 && VideoPlayer::liveDecoderThreads() != count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return VideoPlayer::liveDecoderThreads() == count;
}

struct StillFormat {
    const char* encoder;
    const char* file;
    int tolerance; // JPEG is lossy
};

void PrintTo(const StillFormat& f, std::ostream* os) {
    *os << f.encoder << " in " << f.file;
}

class StillSurface : public ::testing::TestWithParam<StillFormat> {};

TEST_P(StillSurface, TopLeftOfTheImageLandsAtCornerZero) {
    if (!fixtures::hasEncoder(GetParam().encoder)) {
        GTEST_SKIP() << GetParam().encoder << " is not in this FFmpeg";
    }
    TempDir dir("render-still");
    const std::string path = dir.file(GetParam().file);
    const fixtures::Rgba8 topLeft{220, 30, 40}, topRight{30, 200, 60}, bottomRight{40, 50, 210},
        bottomLeft{230, 220, 30};
    ASSERT_TRUE(fixtures::writeStill(path, GetParam().encoder, 64, 64, [&](int x, int y) {
        return y < 32 ? (x < 32 ? topLeft : topRight) : (x < 32 ? bottomLeft : bottomRight);
    }));

    // Turned a quarter clockwise: corner 0 at the canvas's top-right, so a
    // mirrored or upside-down image lands in the wrong quadrants.
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::image, path, {{1, 0}, {1, 1}, {0, 1}, {0, 0}})});
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    const Picture picture = canvas.draw(1.0);
    const int tolerance = GetParam().tolerance;
    EXPECT_PRED3(near, picture.at(48, 16), topLeft, tolerance);
    EXPECT_PRED3(near, picture.at(48, 48), topRight, tolerance);
    EXPECT_PRED3(near, picture.at(16, 48), bottomRight, tolerance);
    EXPECT_PRED3(near, picture.at(16, 16), bottomLeft, tolerance);
}

INSTANTIATE_TEST_SUITE_P(Formats, StillSurface,
                         ::testing::Values(StillFormat{"png", "corners.png", 0},
                                           StillFormat{"mjpeg", "corners.jpg", 12}),
                         [](const auto& param) { return std::string(param.param.encoder); });

TEST(StillSurface, ImageWiderThanTheTextureLimitIsScaledDownNotRefused) {
    ASSERT_TRUE(useGlContext());
    const int limit = OffscreenFramebuffer::maxSize();
    TempDir dir("render-wide");
    const std::string path = dir.file("wide.png");
    const int wideWidth = limit + limit / 4;
    ASSERT_TRUE(fixtures::writeStill(path, "png", wideWidth, 8, [&](int x, int) {
        return x < wideWidth / 2 ? fixtures::Rgba8{255, 0, 0} : fixtures::Rgba8{0, 0, 255};
    }));
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::image, path, fullCanvas())});
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    const Picture picture = canvas.draw(1.0);
    EXPECT_EQ(picture.at(8, 32), (std::array{255, 0, 0, 255}));
    EXPECT_EQ(picture.at(56, 32), (std::array{0, 0, 255, 255}));
}

TEST(StillSurface, NeedsFramesOnlyUntilItsPictureIsDrawn) {
    TempDir dir("render-still-frames");
    const std::string path = dir.file("green.png");
    ASSERT_TRUE(fixtures::writeStill(path, "png", 16, 16, [](int, int) {
        return fixtures::Rgba8{0, 255, 0};
    }));
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::image, path, fullCanvas()),
                       mediaSurface(MediaKind::testPattern, "", rect(0, 0, 0.1f, 0.1f))});
    // Decoding on the loader threads, as in a window: frames are needed
    // until the picture is in, and not one after.
    Canvas canvas(model, liveMediaBackend());
    ASSERT_TRUE(canvas);
    Picture picture = canvas.draw(1.0);
    for (int i = 0; i < 1000 && canvas.renderer->needsFrames(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        picture = canvas.draw(1.0);
    }
    EXPECT_FALSE(canvas.renderer->needsFrames());
    EXPECT_EQ(picture.at(32, 32), (std::array{0, 255, 0, 255}));
}

TEST(UnreadableMedia, ShowsThePlaceholderAndEndsItsDecoder) {
    TempDir dir("render-bad");
    fixtures::VideoSpec spec;
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    ASSERT_TRUE(fixtures::writeVideo(dir.file("good.mp4"), spec));
    testfiles::writeTruncated(dir.file("good.mp4"), dir.file("cut.mp4"), 0.6);
    testfiles::writeBytes(dir.file("empty.mp4"), "");
    testfiles::writeBytes(dir.file("noise.png"), std::string(3000, '\x5a'));
    ASSERT_TRUE(fixtures::writeAudioOnly(dir.file("silence.wav")));
    std::filesystem::create_directory(dir.file("folder.png"));

    const int threadsBefore = VideoPlayer::liveDecoderThreads();
    const auto quarter = [](int i) {
        const float x = static_cast<float>(i % 4) / 4, y = static_cast<float>(i / 4) / 4;
        return rect(x, y, x + 0.25f, y + 0.25f);
    };
    const std::vector<std::pair<MediaKind, std::string>> cases = {
        {MediaKind::image, dir.file("missing.png")}, {MediaKind::image, dir.file("noise.png")},
        {MediaKind::image, dir.file("folder.png")},  {MediaKind::image, dir.file("cut.mp4")},
        {MediaKind::video, dir.file("missing.mp4")}, {MediaKind::video, dir.file("cut.mp4")},
        {MediaKind::video, dir.file("empty.mp4")},   {MediaKind::video, dir.file("silence.wav")},
        {MediaKind::video, dir.file("folder.png")},  {MediaKind::video, "/dev/zero"}};
    std::vector<Surface> surfaces;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        surfaces.push_back(
            mediaSurface(cases[i].first, cases[i].second, quarter(static_cast<int>(i))));
    }
    ProjectModel model;
    model.setSurfaces(surfaces);
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    for (double t : {1.0, 1.5, 2.0}) {
        const Picture picture = canvas.draw(t);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const int x = static_cast<int>(i % 4) * 16 + 8, y = static_cast<int>(i / 4) * 16 + 8;
            EXPECT_EQ(picture.at(x, y), placeholder) << cases[i].second << " at " << t;
        }
    }
    EXPECT_TRUE(decoderThreadsSettleAt(threadsBefore));
    // Every decoder has given up: nothing will change by itself any more, so
    // a host that draws on change may stop drawing.
    canvas.draw(2.25);
    EXPECT_FALSE(canvas.renderer->needsFrames());

    // A file put in place later is not picked up: nothing is retried while
    // the kind and path stay the same.
    ASSERT_TRUE(fixtures::writeStill(dir.file("missing.png"), "png", 4, 4, [](int, int) {
        return fixtures::Rgba8{255, 255, 255};
    }));
    EXPECT_EQ(canvas.draw(2.5).at(8, 8), placeholder);
}

struct Codec {
    const char* name; // the case, in words
    const char* encoder;
    const char* file;
};

void PrintTo(const Codec& c, std::ostream* os) {
    *os << c.encoder << " in " << c.file;
}

class VideoSurface : public ::testing::TestWithParam<Codec> {
protected:
    void SetUp() override {
        if (!fixtures::hasEncoder(GetParam().encoder)) {
            GTEST_SKIP() << GetParam().encoder << " is not in this FFmpeg";
        }
        ASSERT_TRUE(useGlContext());
        path_ = dir_.file(GetParam().file);
        fixtures::VideoSpec spec;
        spec.encoder = GetParam().encoder;
        spec.frames = clipFrames;
        ASSERT_TRUE(fixtures::writeVideo(path_, spec));
    }

    TempDir dir_{"render-video"};
    std::string path_;
};

TEST_P(VideoSurface, ShowsTheFrameDueAndWrapsToFrameZeroWithoutGap) {
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::video, path_, fullCanvas())});
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    const double start = 100.0; // the first frame drawn starts the playback
    EXPECT_EQ(numberShown(canvas.draw(start)), 0);
    // A 60 Hz loop over two and a half loops: at every frame the picture due
    // then, so the last picture of the loop is followed by picture 0 one
    // frame duration later, neither held nor skipped.
    for (int step = 0; step < 60; ++step) {
        const double t = (step + 0.5) / 60.0;
        EXPECT_EQ(numberShown(canvas.draw(start + t)), dueNumber(t, clipFrames))
            << "media time " << t;
        // A looping video never stops needing frames.
        EXPECT_TRUE(canvas.renderer->needsFrames());
    }
}

TEST_P(VideoSurface, RenderersOfOneSurfaceShowTheSameFrameAlsoWhenOneStartsLater) {
    const std::size_t playbacksBefore = PlaybackClock::activePlaybacks();
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::video, path_, fullCanvas())});
    Canvas editor(model, waitingBackend());
    ASSERT_TRUE(editor);
    const double start = 200.0;
    editor.draw(start);

    // An output window opened in the second loop (with a backend of its own)
    // joins the running playback instead of starting its own, and seeks to
    // the picture the editor shows with the loop length the editor plays.
    std::optional<Canvas> output;
    for (int step = 0; step < 45; ++step) {
        const double t = (step + 0.5) / 60.0;
        if (t > 0.55 && !output) {
            output.emplace(model, waitingBackend());
            ASSERT_TRUE(*output);
        }
        const int shown = numberShown(editor.draw(start + t));
        EXPECT_EQ(shown, dueNumber(t, clipFrames)) << "media time " << t;
        if (output) {
            EXPECT_EQ(numberShown(output->draw(start + t)), shown) << "media time " << t;
        }
    }
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacksBefore + 1);
    output.reset();
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacksBefore + 1);
    editor.renderer.reset();
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacksBefore);
}

TEST_P(VideoSurface, SurfacesSharingAPathPlayOnTheirOwnClocks) {
    const int threadsBefore = VideoPlayer::liveDecoderThreads();
    ProjectModel model;
    const Surface left = mediaSurface(MediaKind::video, path_, rect(0, 0, 0.5f, 1));
    model.setSurfaces({left});
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    const double start = 300.0;
    canvas.draw(start);
    // The second surface appears 0.2 s later: its own source starts then.
    const double later = start + 0.2;
    model.setSurfaces({left, mediaSurface(MediaKind::video, path_, rect(0.5f, 0, 1, 1))});
    for (double t = later; t < start + 1.0; t += 1.0 / 24) {
        const Picture picture = canvas.draw(t);
        EXPECT_EQ(numberShown(picture, 0, size / 2), dueNumber(t - start, clipFrames));
        EXPECT_EQ(numberShown(picture, size / 2, size), dueNumber(t - later, clipFrames));
    }
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threadsBefore + 2);
}

// Transport and program streams seek by decode time: a renderer joining late
// must still land on the picture the others show.
INSTANTIATE_TEST_SUITE_P(Codecs, VideoSurface,
                         ::testing::Values(Codec{"H264InMp4", "libx264", "clip.mp4"},
                                           Codec{"Mpeg4Part2InAvi", "mpeg4", "clip.avi"},
                                           Codec{"H264InMpegTs", "libx264", "clip.ts"},
                                           Codec{"Mpeg2InMpegPs", "mpeg2video", "clip.mpg"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(VideoSource, ChangingKindOrPathReplacesItAndReleasingItStopsItsThread) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("render-switch");
    fixtures::VideoSpec spec;
    spec.encoder = "mpeg4";
    spec.frames = clipFrames;
    const std::string first = dir.file("first.avi");
    ASSERT_TRUE(fixtures::writeVideo(first, spec));
    // The second clip's numbers run from 12 up, so the two never look alike.
    spec.pixel = [](int frame, int x, int) {
        return fixtures::frameNumberPixel(frame + 12, x, 64);
    };
    const std::string second = dir.file("second.avi");
    ASSERT_TRUE(fixtures::writeVideo(second, spec));

    const int threads = VideoPlayer::liveDecoderThreads();
    const std::size_t playbacks = PlaybackClock::activePlaybacks();
    ProjectModel model;
    Surface surface = mediaSurface(MediaKind::video, first, fullCanvas());
    model.setSurfaces({surface});
    Canvas canvas(model, waitingBackend());
    ASSERT_TRUE(canvas);
    double t = 400.0;
    const auto show = [&](const Surface& s) {
        model.setSurfaces({s});
        t += 0.5;
        return canvas.draw(t);
    };

    EXPECT_EQ(numberShown(show(surface)), 0);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads + 1);

    surface.mediaPath = second; // a new source, started afresh; the old one is gone
    EXPECT_EQ(numberShown(show(surface)), 12);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads + 1);
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacks + 1);

    surface.mediaKind = MediaKind::color;
    show(surface);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads);
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacks);

    surface.mediaKind = MediaKind::video;
    EXPECT_EQ(numberShown(show(surface)), 12);
    surface.mediaKind = MediaKind::image; // the same file read as a still
    show(surface);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads);

    surface.mediaKind = MediaKind::video;
    show(surface);
    model.setSurfaces(std::vector<Surface>{}); // the surface is deleted
    canvas.draw(t += 0.5);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads);

    show(surface);
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads + 1);
    canvas.renderer.reset(); // the window closes
    EXPECT_EQ(VideoPlayer::liveDecoderThreads(), threads);
    EXPECT_EQ(PlaybackClock::activePlaybacks(), playbacks);
}

TEST(MediaAtATime, ShowsThePictureDueModuloTheLoopAndStillsAtOnce) {
    ASSERT_TRUE(useGlContext());
    TempDir dir("render-at");
    fixtures::VideoSpec spec;
    spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
    spec.frames = clipFrames;
    const std::string video = dir.file("clip.mp4");
    ASSERT_TRUE(fixtures::writeVideo(video, spec));
    const std::string still = dir.file("still.png");
    ASSERT_TRUE(fixtures::writeStill(still, "png", 4, 4, [](int, int) {
        return fixtures::Rgba8{10, 120, 240};
    }));
    ProjectModel model;
    model.setSurfaces({mediaSurface(MediaKind::video, video, rect(0, 0, 1, 0.5f)),
                       mediaSurface(MediaKind::image, still, rect(0, 0.5f, 1, 1))});

    // The loop is 0.4 s long: 0.41 s is 0.01 s into the second pass.
    for (const auto& [seconds, number] : std::vector<std::pair<double, int>>{
             {0.0, 0}, {0.2, 6}, {0.39, 11}, {0.41, 0}, {5.25, 1}}) {
        Canvas canvas(model, mediaBackendAt(seconds));
        ASSERT_TRUE(canvas);
        // One frame, drawn at once: nothing is waited for between frames.
        const Picture picture = canvas.draw(seconds);
        EXPECT_EQ(fixtures::frameNumberOf(picture.rgba.data(), size * 4, size, size / 2), number)
            << seconds << " s";
        EXPECT_EQ(picture.at(32, 48), (std::array{10, 120, 240, 255})) << seconds << " s";
    }
}

} // namespace
} // namespace prismeta::test
