// Which videos a GO starts (restart on and off, tracked looks) and follows on
// the end of once-playing videos (after the fade where none can be played),
// with lengths a test gives.
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

#include <map>

namespace prismeta {
namespace {

// The media layer as the runner sees it: starts recorded, lengths set by hand.
struct RecordedVideos final : CueVideos {
    void start(const Surface& surface, double showTime) override {
        starts.emplace_back(surface.id, mediaSignature(surface), showTime);
    }
    Length length(const std::string& path) const override {
        const auto found = lengths.find(path);
        return found != lengths.end() ? found->second : Length{};
    }
    std::vector<std::tuple<Uuid, std::string, double>> starts;
    std::map<std::string, Length> lengths;
};

CueLook videoLook(const Uuid& surface, const char* path, bool restart = true) {
    CueLook look;
    look.surface = surface;
    look.mediaKind = MediaKind::video;
    look.mediaPath = path;
    look.restart = restart;
    return look;
}

Cue videoCueOf(const char* name, std::vector<CueLook> looks) {
    Cue cue;
    cue.name = name;
    cue.looks = std::move(looks);
    return cue;
}

struct VideoShow {
    ProjectModel model;
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner{model, showClock, wallClock};
    std::shared_ptr<RecordedVideos> videos = std::make_shared<RecordedVideos>();
    Surface a;
    Surface b;

    VideoShow() {
        a.mediaKind = MediaKind::color;
        b.mediaKind = MediaKind::color;
        runner.setVideos(videos);
    }
    void setCues(std::vector<Cue> cues) {
        model.setSurfaces(std::vector<Surface>{a, b});
        model.setCues(std::move(cues));
    }
    // The signatures started, in order, since the last call.
    std::vector<std::string> started() {
        std::vector<std::string> signatures;
        for (const auto& [surface, signature, at] : videos->starts) {
            EXPECT_EQ(at, showClock.seconds);
            signatures.push_back((surface == a.id ? "A " : "B ") + signature);
        }
        videos->starts.clear();
        return signatures;
    }
};

using Strings = std::vector<std::string>;

TEST(CueVideos, AGoStartsTheVideosItSwitchesToAndThoseItRestarts) {
    VideoShow show;
    // 1: A to x. 2: A to x again (restart), B to y. 3: both again, restart
    // off: nothing starts. 4: an opacity change alone starts nothing either.
    CueLook dim;
    dim.surface = show.a.id;
    dim.opacity = 0.5;
    show.setCues({videoCueOf("1", {videoLook(show.a.id, "/x.mp4")}),
                  videoCueOf("2", {videoLook(show.a.id, "/x.mp4"), videoLook(show.b.id, "/y.mp4")}),
                  videoCueOf("3", {videoLook(show.a.id, "/x.mp4", false),
                                   videoLook(show.b.id, "/y.mp4", false)}),
                  videoCueOf("4", {dim})});
    show.showClock.seconds = 10.0;
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.started(), Strings{"A video|/x.mp4"});
    show.showClock.seconds = 20.0;
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.started(), (Strings{"A video|/x.mp4", "B video|/y.mp4"}));
    show.showClock.seconds = 30.0;
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.started(), Strings{});
    ASSERT_TRUE(show.runner.go());
    EXPECT_EQ(show.started(), Strings{});

    // Go To cue 3 from the project's look: its tracked look switches both
    // surfaces to their videos, which start whatever restart says.
    show.model.undo();
    show.model.undo();
    show.model.undo();
    show.model.undo();
    show.showClock.seconds = 40.0;
    ASSERT_TRUE(show.runner.goTo(2));
    EXPECT_EQ(show.started(), (Strings{"A video|/x.mp4", "B video|/y.mp4"}));
}

TEST(CueVideos, TheNextCuesNewVideosAreOpenedAhead) {
    VideoShow show;
    show.setCues({videoCueOf("1", {videoLook(show.a.id, "/x.mp4")}),
                  videoCueOf("2", {videoLook(show.a.id, "/x.mp4"), videoLook(show.b.id, "/y.mp4")}),
                  videoCueOf("3", {videoLook(show.a.id, "/z.mp4")})});
    // A video already running is not opened twice.
    ASSERT_TRUE(show.runner.go());
    ASSERT_EQ(show.runner.preload()->size(), 1u);
    EXPECT_EQ(show.runner.preload()->front().id, show.b.id);
    EXPECT_EQ(show.runner.preload()->front().mediaPath, "/y.mp4");
    ASSERT_TRUE(show.runner.go());
    ASSERT_EQ(show.runner.preload()->size(), 1u);
    EXPECT_EQ(show.runner.preload()->front().mediaPath, "/z.mp4");
}

TEST(CueVideos, FollowOnEndGoesWhenTheLongestOnceVideoStartedHasEnded) {
    VideoShow show;
    show.a.playback = VideoPlayback::once;
    show.b.playback = VideoPlayback::once;
    Cue first =
        videoCueOf("1", {videoLook(show.a.id, "/short.mp4"), videoLook(show.b.id, "/long.mp4")});
    first.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    Cue second = videoCueOf(
        "2", {videoLook(show.a.id, "/gone.mp4"), videoLook(show.b.id, "/long.mp4", false)});
    second.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    second.fade = 1.5;
    show.setCues({first, second, videoCueOf("3", {})});

    show.showClock.seconds = 100.0;
    ASSERT_TRUE(show.runner.go());
    // Lengths still being measured: no follow yet, however long.
    show.showClock.seconds = 200.0;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    EXPECT_EQ(show.runner.followIn(), std::nullopt);

    using State = CueVideos::Length::State;
    show.videos->lengths["/short.mp4"] = {State::known, 2.0};
    show.videos->lengths["/long.mp4"] = {State::known, 150.0};
    show.videos->lengths["/gone.mp4"] = {State::unplayable, 0.0};
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 0u);
    EXPECT_EQ(show.runner.followIn(), 50.0);
    show.showClock.seconds = 250.0;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 1u);

    // Cue 2 starts only a file that cannot be played (the long one keeps its
    // clock): it follows once its fade is over, so a looping show never
    // stops on it, and says which file it could not wait for.
    std::vector<std::string> log;
    const ScopedLogSink sink([&log](std::string_view line) { log.emplace_back(line); });
    show.runner.tick();
    EXPECT_EQ(show.runner.followIn(), 1.5);
    show.runner.tick();
    EXPECT_EQ(log, Strings{"Prismeta: cue \"2\" follows the end of its video, which cannot be "
                           "played: /gone.mp4; it follows after its fade"});
    show.showClock.seconds = 251.5;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 2u);
}

TEST(CueVideos, LoopingVideosAndARunnerWithoutVideosNeverEnd) {
    VideoShow show;
    Cue first = videoCueOf("1", {videoLook(show.a.id, "/loop.mp4")});
    first.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    show.setCues({first, videoCueOf("2", {})});
    show.videos->lengths["/loop.mp4"] = {CueVideos::Length::State::known, 1.0};
    ASSERT_TRUE(show.runner.go());
    show.showClock.seconds = 50.0;
    show.runner.tick();
    EXPECT_EQ(show.runner.liveIndex(), 0u);

    ProjectModel model;
    Surface once;
    once.playback = VideoPlayback::once;
    model.setSurfaces(std::vector<Surface>{once});
    Cue onceCue = videoCueOf("1", {videoLook(once.id, "/once.mp4")});
    onceCue.follow = CueFollow{CueFollow::Kind::videoEnd, 0.0};
    model.setCues(std::vector<Cue>{onceCue, videoCueOf("2", {})});
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner bare(model, clock, wall);
    ASSERT_TRUE(bare.go());
    clock.seconds = 1e6;
    bare.tick();
    EXPECT_EQ(bare.liveIndex(), 0u);
}

} // namespace
} // namespace prismeta
