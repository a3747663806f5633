// What a desk's levels do to the show, without a network: the surface
// fixture's channels in the live layer (and never in the model), media and
// playback switches with the video starts they make, the show fixture's
// master, GO and blackout through the cue runner, and hold or release when
// a universe's sources are lost.
#include "dmx/DmxShow.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "cues/CueVideos.h"
#include "cues/LiveLayer.h"
#include "dmx/PatchCheck.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace prismeta {
namespace {

// Universes as a test sets them.
struct Desk final : UniverseSource {
    std::map<int, UniverseLevels> universes;

    bool read(int universe, UniverseLevels& out) const override {
        const auto found = universes.find(universe);
        if (found == universes.end()) {
            return false;
        }
        out = found->second;
        return true;
    }
    void set(int universe, int address, std::vector<std::uint8_t> levels) {
        UniverseLevels& u = universes[universe];
        std::copy(levels.begin(), levels.end(), u.levels.begin() + (address - 1));
        u.state = UniverseLevels::State::live;
        ++u.changes;
    }
    void lose(int universe, double at) {
        universes[universe].state = UniverseLevels::State::lost;
        universes[universe].lostAt = at;
        ++universes[universe].changes;
    }
};

struct Videos final : CueVideos {
    struct Start {
        Uuid surface;
        std::string path;
        VideoPlayback playback;
        double at;
    };
    std::vector<Start> starts;
    std::optional<double> playing;

    void start(const Surface& s, double at) override {
        starts.push_back({s.id, s.mediaPath.value_or(""), s.playback, at});
    }
    Length length(const std::string&) const override { return {}; }
    std::optional<double> startOf(const Surface&) const override { return playing; }
};

struct Rig {
    ProjectModel model;
    ManualShowClock showClock;
    ManualWallClock wallClock;
    CueRunner runner{model, showClock, wallClock};
    LiveLayer layer;
    Videos videos;
    Desk desk;
    Uuid wall;
    std::optional<DmxShow> show;

    explicit Rig(DmxSettings settings = {}) {
        Surface s;
        s.mediaKind = MediaKind::video;
        s.mediaPath = "/own.mp4";
        s.dmx = DmxPatch{1, 10};
        wall = s.id;
        Surface unpatched;
        Surface overflowing;
        overflowing.dmx = DmxPatch{1, 505}; // nine channels do not fit
        model.setSurfaces(std::vector<Surface>{s, unpatched, overflowing});
        std::vector<Cue> cues(3);
        for (std::size_t i = 0; i < cues.size(); ++i) {
            cues[i].fade = 1.0 + static_cast<double>(i);
        }
        model.setCues(std::move(cues));
        model.setDmx(settings);
        show.emplace(model, layer);
        show->setCueRunner(&runner);
        show->setVideos(&videos);
    }
    const LiveLook* look() const { return layer.find(wall); }
    bool apply(double now) { return show->apply(desk, now); }
};

DmxSettings withShowFixture() {
    DmxSettings settings;
    settings.master = DmxPatch{2, 1};
    settings.media = {{MediaKind::image, "/one.png"}, {}, {MediaKind::video, "/three.mp4"}};
    return settings;
}

TEST(DmxShow, SurfaceChannelsDriveTheLiveLayerAndNeverTheModel) {
    std::vector<std::string> lines;
    const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    Rig rig(withShowFixture());
    EXPECT_EQ(rig.show->universes(), (std::vector<int>{1, 2}));
    ASSERT_EQ(lines.size(), 1u); // the fixture that does not fit
    EXPECT_NE(lines[0].find("address 505"), std::string::npos);
    const std::vector<Surface> before = rig.model.surfaces().vector();

    EXPECT_FALSE(rig.apply(0.0)); // silent: nothing
    EXPECT_EQ(rig.layer.size(), 0u);
    // Intensity 0x8000, red full, green half, blue off, own media, as set,
    // shader 0x4000.
    rig.desk.set(1, 10, {0x80, 0x00, 255, 128, 0, 0, 0, 0x40, 0x00});
    EXPECT_TRUE(rig.apply(0.1));
    ASSERT_NE(rig.look(), nullptr);
    EXPECT_FLOAT_EQ(rig.look()->intensity, 32768.0f / 65535.0f);
    EXPECT_FLOAT_EQ(rig.look()->tint[0], 1.0f);
    EXPECT_FLOAT_EQ(rig.look()->tint[1], 128.0f / 255.0f);
    EXPECT_FLOAT_EQ(rig.look()->tint[2], 0.0f);
    EXPECT_FLOAT_EQ(rig.look()->shaderValue, 16384.0f / 65535.0f);
    EXPECT_EQ(rig.look()->shaderWeight, 1.0f);
    EXPECT_FALSE(rig.look()->look);
    EXPECT_EQ(rig.layer.size(), 1u); // the unpatched and the overflowing surface untouched
    EXPECT_EQ(rig.model.surfaces().vector(), before);
    EXPECT_TRUE(rig.model.undoStack().empty());
    EXPECT_FALSE(rig.apply(0.2)); // nothing new
}

TEST(DmxShow, MediaAndPlaybackSwitchTheSurfacesPictureAndStartItsVideo) {
    Rig rig(withShowFixture());
    const auto set = [&rig](std::uint8_t media, std::uint8_t playback, double now) {
        rig.desk.set(1, 10, {255, 255, 255, 255, 255, media, playback, 0, 0});
        rig.apply(now);
    };
    set(1, 0, 0.0);
    ASSERT_TRUE(rig.look()->look);
    EXPECT_EQ(rig.look()->look->mediaKind, MediaKind::image);
    EXPECT_EQ(rig.look()->look->mediaPath, "/one.png");
    set(2, 0, 0.1); // an entry of no use, and one past the list: the surface's own
    EXPECT_FALSE(rig.look()->look);
    set(9, 0, 0.2);
    EXPECT_FALSE(rig.look()->look);
    EXPECT_TRUE(rig.videos.starts.empty());

    set(3, 64, 1.0); // entry 3, once from the start
    ASSERT_EQ(rig.videos.starts.size(), 1u);
    EXPECT_EQ(rig.videos.starts[0].path, "/three.mp4");
    EXPECT_EQ(rig.videos.starts[0].playback, VideoPlayback::once);
    EXPECT_EQ(rig.videos.starts[0].at, 1.0);
    set(3, 100, 1.5); // still in the range: no new start
    EXPECT_EQ(rig.videos.starts.size(), 1u);
    set(3, 200, 2.0); // loop from the start
    ASSERT_EQ(rig.videos.starts.size(), 2u);
    EXPECT_EQ(rig.videos.starts[1].playback, VideoPlayback::loop);

    // Pause holds the picture; as set again resumes from it.
    set(0, 130, 3.0);
    EXPECT_TRUE(rig.look()->paused);
    EXPECT_EQ(rig.videos.starts.size(), 2u);
    rig.videos.playing = 2.5;
    set(0, 0, 7.0);
    EXPECT_FALSE(rig.look()->paused);
    ASSERT_EQ(rig.videos.starts.size(), 3u);
    EXPECT_EQ(rig.videos.starts[2].path, "/own.mp4");
    EXPECT_DOUBLE_EQ(rig.videos.starts[2].at, 2.5 + 4.0); // four seconds later
}

TEST(DmxShow, TheShowFixtureDrivesMasterGoAndBlackout) {
    Rig rig(withShowFixture());
    const auto show = [&rig](std::uint16_t master, std::uint16_t cue, std::uint8_t go,
                             std::uint8_t blackout, double now) {
        rig.desk.set(2, 1,
                     {static_cast<std::uint8_t>(master >> 8), static_cast<std::uint8_t>(master),
                      static_cast<std::uint8_t>(cue >> 8), static_cast<std::uint8_t>(cue), go,
                      blackout});
        rig.showClock.seconds = now;
        rig.apply(now);
    };
    show(0xffff, 0, 255, 0, 0.0); // GO held up as the desk comes online: nothing
    EXPECT_EQ(rig.layer.master(), 1.0f);
    EXPECT_FALSE(rig.runner.liveIndex());
    show(0x8000, 0, 0, 0, 0.1);
    EXPECT_FLOAT_EQ(rig.layer.master(), 32768.0f / 65535.0f);
    show(0x8000, 0, 128, 0, 0.2); // rising through half, cue 0: the next cue
    EXPECT_EQ(rig.runner.liveIndex(), 0u);
    show(0x8000, 0, 200, 0, 0.3); // still up: once
    EXPECT_EQ(rig.runner.liveIndex(), 0u);
    show(0x8000, 3, 100, 0, 0.4);
    show(0x8000, 3, 255, 0, 0.5); // cue 3 with its own fade
    EXPECT_EQ(rig.runner.liveIndex(), 2u);
    EXPECT_EQ(rig.runner.state().fade, 3.0);
    show(0x8000, 9, 0, 0, 0.6);
    show(0x8000, 9, 255, 0, 0.7); // past the list: stays
    EXPECT_EQ(rig.runner.liveIndex(), 2u);

    show(0x8000, 0, 0, 128, 1.0);
    EXPECT_TRUE(rig.runner.state().blackout.on);
    show(0x8000, 0, 0, 127, 2.0);
    EXPECT_FALSE(rig.runner.state().blackout.on);
}

// A desk that leaves the master at 0 takes the show dark: one line when it
// does, one when it brings it back (a fade up or the desk going silent), and
// nothing while it stays.
TEST(DmxShow, AMasterAtZeroSaysTheShowIsDarkAndWhenItComesBack) {
    Rig rig(withShowFixture());
    std::vector<std::string> lines;
    const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    const auto master = [&rig](std::uint16_t level, double now) {
        rig.desk.set(2, 1,
                     {static_cast<std::uint8_t>(level >> 8), static_cast<std::uint8_t>(level)});
        rig.apply(now);
    };
    master(0, 0.0);
    master(0, 0.1);
    EXPECT_TRUE(rig.show->masterDark());
    master(1, 0.2);
    master(0xffff, 0.3);
    EXPECT_FALSE(rig.show->masterDark());
    master(0, 0.4);
    rig.desk.universes.erase(2); // silent: the project's look, master full
    rig.apply(0.5);
    EXPECT_FALSE(rig.show->masterDark());
    EXPECT_EQ(rig.layer.master(), 1.0f);
    const std::string dark = "Prismeta: DMX: the show fixture's master (universe 2, address 1) is "
                             "at 0: every output is black until the desk brings it up";
    const std::string back =
        "Prismeta: DMX: the show fixture's master (universe 2, address 1) is up again: the "
        "outputs show";
    EXPECT_EQ(lines, (std::vector<std::string>{dark, back, dark, back}));
}

TEST(DmxShow, LostSourcesHoldOrReleaseOverTheLossFade) {
    for (const DmxLoss loss : {DmxLoss::hold, DmxLoss::release}) {
        DmxSettings settings = withShowFixture();
        settings.loss = loss;
        settings.lossFade = 2.0;
        Rig rig(settings);
        rig.desk.set(1, 10, {0, 0, 255, 0, 0, 1, 0, 0, 0}); // dark, red, entry 1
        rig.desk.set(2, 1, {0, 0, 0, 0, 0, 255});           // master off, blackout
        rig.apply(0.0);
        EXPECT_TRUE(rig.runner.state().blackout.on);
        rig.desk.lose(1, 10.0);
        rig.desk.lose(2, 10.0);
        rig.apply(11.0);
        if (loss == DmxLoss::hold) {
            EXPECT_EQ(rig.look()->intensity, 0.0f);
            EXPECT_EQ(rig.layer.master(), 0.0f);
            EXPECT_FALSE(rig.show->fading(11.0));
            continue;
        }
        // Half way back to the project's look; the media switch goes after the middle.
        EXPECT_FLOAT_EQ(rig.look()->intensity, 0.5f);
        EXPECT_FLOAT_EQ(rig.look()->tint[1], 0.5f);
        EXPECT_FLOAT_EQ(rig.layer.master(), 0.5f);
        EXPECT_TRUE(rig.look()->look);
        EXPECT_TRUE(rig.show->fading(11.0));
        rig.apply(11.5);
        EXPECT_FLOAT_EQ(rig.look()->intensity, 0.75f);
        EXPECT_FALSE(rig.look()->look);
        rig.apply(12.5);
        EXPECT_EQ(rig.look(), nullptr); // gone: the project's look
        EXPECT_EQ(rig.layer.master(), 1.0f);
        EXPECT_FALSE(rig.show->fading(12.5));
        EXPECT_TRUE(rig.runner.state().blackout.on); // a trigger, not a level: it stays
    }
}

TEST(DmxPatch, SharedChannelsAndFixturesPastTheEndAreNamed) {
    ProjectModel model;
    std::vector<Surface> surfaces(3);
    surfaces[0].name = "Wall";
    surfaces[0].dmx = DmxPatch{1, 1};
    surfaces[1].name = "Floor";
    surfaces[1].dmx = DmxPatch{1, 9}; // its first channel is the wall's last
    surfaces[2].name = "Sky";
    surfaces[2].dmx = DmxPatch{2, 505};
    model.setSurfaces(std::move(surfaces));
    DmxSettings settings;
    settings.master = DmxPatch{1, 18}; // right after the floor: no overlap
    model.setDmx(settings);
    const PatchCheck check = checkPatch(model);
    EXPECT_EQ(check.fixtures, 4u);
    EXPECT_EQ(check.problems,
              (std::vector<std::string>{
                  "surface \"Wall\" and surface \"Floor\" share universe 1, channel 9",
                  "surface \"Sky\" at universe 2, channels 505..513 does not fit in the "
                  "universe's 512 channels"}));
}

// The published profiles name the channels where the code reads them.
TEST(DmxPatch, TheProfilesMatchTheChannelsRead) {
    const auto channels = [](const char* file) {
        std::ifstream in(std::string(PRISMETA_SOURCE_DIR "/share/dmx/") + file);
        const nlohmann::json profile = nlohmann::json::parse(in);
        return profile.at("modes").at(0).at("channels").get<std::vector<std::string>>();
    };
    const std::vector<std::string> surface = channels("prismeta-surface.json");
    ASSERT_EQ(surface.size(), static_cast<std::size_t>(surfaceChannel::count));
    EXPECT_EQ(surface[surfaceChannel::intensity], "Intensity");
    EXPECT_EQ(surface[surfaceChannel::intensity + 1], "Intensity fine");
    EXPECT_EQ(surface[surfaceChannel::red], "Red");
    EXPECT_EQ(surface[surfaceChannel::green], "Green");
    EXPECT_EQ(surface[surfaceChannel::blue], "Blue");
    EXPECT_EQ(surface[surfaceChannel::media], "Media");
    EXPECT_EQ(surface[surfaceChannel::playback], "Playback");
    EXPECT_EQ(surface[surfaceChannel::shader], "Shader parameter");
    EXPECT_EQ(surface[surfaceChannel::shader + 1], "Shader parameter fine");
    const std::vector<std::string> show = channels("prismeta-show.json");
    ASSERT_EQ(show.size(), static_cast<std::size_t>(showChannel::count));
    EXPECT_EQ(show[showChannel::master], "Master");
    EXPECT_EQ(show[showChannel::cue], "Cue");
    EXPECT_EQ(show[showChannel::go], "GO");
    EXPECT_EQ(show[showChannel::blackout], "Blackout");
}

} // namespace
} // namespace prismeta
