// Videos in a show, drawn and read back: a surface that plays once, a GO that
// restarts a video on every renderer, a video opened ahead of its GO, and a
// follow on the end of a once-playing video. Pictures carry their frame
// number (made here with FFmpeg), so what shows follows from the times drawn.
#include "GlTestSupport.h"
#include "HeadlessCanvas.h"
#include "TestFiles.h"
#include "VideoTestSupport.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "media/PlaybackClock.h"
#include "render/FFmpegMediaBackend.h"
#include "render/ShowVideos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace prismeta::test {
namespace {

using namespace videotest;
using testfiles::TempDir;

constexpr int showSize = 32;
constexpr int showClipFrames = 12; // 0.4 s at 30 fps
const std::array<int, 4> showPlaceholder = {38, 38, 43, 255};

int showNumberShown(const Picture& picture) {
    return fixtures::frameNumberOf(picture.rgba.data(), picture.width * 4, picture.width,
                                   picture.height);
}

MediaBackend showWaitingBackend() {
    LiveMediaOptions options;
    options.waitForDecoders = true;
    return liveMediaBackend(options);
}

class ShowVideo : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(useGlContext());
        fixtures::VideoSpec spec;
        spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
        spec.frames = showClipFrames;
        ASSERT_TRUE(fixtures::writeVideo(path_, spec));
        surface_.corners = fullCanvas();
        surface_.mediaKind = MediaKind::video;
        surface_.mediaPath = path_;
    }

    TempDir dir_{"show-video"};
    std::string path_ = dir_.file("clip.mp4");
    Surface surface_;
};

TEST_F(ShowVideo, ASurfacePlayingOnceHoldsItsLastPictureAndThenNeedsNoFrames) {
    surface_.playback = VideoPlayback::once;
    ProjectModel model;
    model.setSurfaces({surface_});
    HeadlessCanvas canvas(model, showWaitingBackend(), showSize, showSize);
    ASSERT_TRUE(canvas);
    const double start = 100.0; // the first frame drawn starts the playback
    for (int step = 0; step < 45; ++step) {
        const double t = (step + 0.5) / 60.0;
        EXPECT_EQ(showNumberShown(canvas.draw(start + t)),
                  std::min(dueNumber(t, 1000), showClipFrames - 1))
            << "media time " << t;
    }
    for (int i = 0; i < 200 && canvas.renderer->needsFrames(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(showNumberShown(canvas.draw(start + 1.0)), showClipFrames - 1);
    }
    EXPECT_FALSE(canvas.renderer->needsFrames());

    // Switched to looping, the same surface plays on from its start.
    Surface looping = surface_;
    looping.playback = VideoPlayback::loop;
    model.replaceSurface(0, looping);
    EXPECT_EQ(showNumberShown(canvas.draw(start + 1.05)), dueNumber(1.05, showClipFrames));
}

TEST_F(ShowVideo, AStartGivenToTheSurfacesPlaybackRestartsItOnEveryRenderer) {
    ProjectModel model;
    model.setSurfaces({surface_});
    HeadlessCanvas editor(model, showWaitingBackend(), showSize, showSize);
    HeadlessCanvas output(model, showWaitingBackend(), showSize, showSize);
    ASSERT_TRUE(editor && output);
    const double opened = 300.0;
    for (const double t : {0.0, 0.1, 0.25}) {
        EXPECT_EQ(showNumberShown(editor.draw(opened + t)), dueNumber(t, showClipFrames));
        EXPECT_EQ(showNumberShown(output.draw(opened + t)), dueNumber(t, showClipFrames));
    }
    const double go = opened + 0.3;
    PlaybackClock::startAt(surface_.id, mediaSignature(surface_), go);
    for (const double t : {0.0, 0.1, 0.2}) {
        EXPECT_EQ(showNumberShown(editor.draw(go + t)), dueNumber(t, showClipFrames)) << t;
        EXPECT_EQ(showNumberShown(output.draw(go + t)), dueNumber(t, showClipFrames)) << t;
    }
}

TEST_F(ShowVideo, AVideoOpenedAheadShowsItsFirstPictureOnTheFirstFrameOfItsGo) {
    Surface before = surface_;
    before.mediaKind = MediaKind::color;
    before.color = {1, 0, 0, 1};
    ProjectModel model;
    model.setSurfaces({before});
    // Decoders not waited for, as in a window.
    HeadlessCanvas canvas(model, liveMediaBackend(), showSize, showSize);
    ASSERT_TRUE(canvas);
    canvas.renderer->setPreload(std::make_shared<const std::vector<Surface>>(1, surface_));
    const double opened = 400.0;
    // The cue runs a while (long enough for a slow sanitizer build to open
    // the file): still red, the video waiting unseen.
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(canvas.draw(opened + i * 0.01).at(16, 16), (std::array{255, 0, 0, 255}));
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    EXPECT_FALSE(canvas.renderer->needsFrames());
    const double go = opened + 10.0;
    model.setSurfaces({surface_});
    PlaybackClock::startAt(surface_.id, mediaSignature(surface_), go);
    EXPECT_EQ(showNumberShown(canvas.draw(go)), 0);
}

TEST_F(ShowVideo, AFollowOnEndGoesWhenTheOncePlayingVideoHasShownItsLastPicture) {
    Surface blank = surface_;
    blank.mediaKind = MediaKind::color;
    blank.color = {0, 0, 1, 1};
    blank.playback = VideoPlayback::once;
    ProjectModel model;
    model.setSurfaces({blank});
    CueLook toVideo;
    toVideo.surface = blank.id;
    toVideo.mediaKind = MediaKind::video;
    toVideo.mediaPath = path_;
    CueLook toGreen;
    toGreen.surface = blank.id;
    toGreen.mediaKind = MediaKind::color;
    toGreen.color = RGBA{0, 1, 0, 1};
    Cue clip;
    clip.name = "Clip";
    clip.looks = {toVideo};
    clip.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    Cue after;
    after.name = "After";
    after.looks = {toGreen};
    model.setCues({clip, after});

    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner(model, showClock, wallClock);
    auto videos = std::make_shared<ShowVideos>();
    runner.setVideos(videos);
    HeadlessCanvas canvas(model, showWaitingBackend(), showSize, showSize);
    ASSERT_TRUE(canvas);

    // The GO starts the video at its own time, not at the first frame drawn.
    showClock.seconds = 600.0;
    ASSERT_TRUE(runner.go());
    showClock.seconds = 600.1;
    runner.tick();
    videos->waitForLengths();
    EXPECT_EQ(showNumberShown(canvas.draw(showClock.seconds)), 3);
    for (const double t : {0.2, 0.39}) {
        showClock.seconds = 600.0 + t;
        runner.tick();
        EXPECT_EQ(runner.liveIndex(), 0u) << t;
        EXPECT_EQ(showNumberShown(canvas.draw(showClock.seconds)), dueNumber(t, showClipFrames))
            << t;
    }
    showClock.seconds = 600.0 + showClipFrames / fps;
    runner.tick();
    EXPECT_EQ(runner.liveIndex(), 1u);
    EXPECT_EQ(canvas.draw(showClock.seconds).at(16, 16), (std::array{0, 255, 0, 255}));
}

} // namespace
} // namespace prismeta::test
