// Every channel of both fixtures, read back from headless frames: a desk's
// levels through DmxShow into the live layer and on through the renderer,
// against values worked out from the channels (premultiplied over black).
#include "../core/ScratchFolder.h"
#include "../render/FakeMedia.h"
#include "../render/GlTestSupport.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "cues/LiveLayer.h"
#include "dmx/DmxShow.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <gtest/gtest.h>

#include <map>

namespace prismeta::test {
namespace {

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
};

void expectRgb(const std::array<int, 4>& px, double r, double g, double b, const char* what,
               double tolerance = 1.5) {
    EXPECT_NEAR(px[0], r, tolerance) << what << " red";
    EXPECT_NEAR(px[1], g, tolerance) << what << " green";
    EXPECT_NEAR(px[2], b, tolerance) << what << " blue";
}

// Four surfaces in the quarters of the canvas, each patched as a surface
// fixture in universe 1 (addresses 1, 10, 19, 28), and a show fixture in
// universe 2; an editor renderer and one output's, both over the live layer.
struct Stage {
    FakeMedia media;
    ScratchFolder folder;
    ProjectModel model;
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner{model, clock, wall};
    LiveLayer layer;
    Desk desk;
    std::optional<DmxShow> show;
    std::unique_ptr<Renderer> editor;
    std::unique_ptr<Renderer> output;
    std::unique_ptr<OffscreenFramebuffer> fb;
    Uuid white;

    Stage() {
        media.images["/grey.png"] = solid(200, 200, 200);
        media.images["/red.png"] = solid(255, 0, 0);
        media.videos["/clip.mp4"] = {{0.0, solid(255, 0, 0)}, {1.0, solid(0, 0, 255)}};
        Surface a = colourSurface(rect(0, 0, 0.5, 0.5), {1, 1, 1, 1});
        a.dmx = DmxPatch{1, 1};
        white = a.id;
        Surface b = colourSurface(rect(0.5, 0, 1, 0.5), {1, 1, 1, 1});
        b.mediaKind = MediaKind::image;
        b.mediaPath = "/grey.png";
        b.dmx = DmxPatch{1, 10};
        Surface c = colourSurface(rect(0, 0.5, 0.5, 1), {0, 0, 1, 1});
        c.dmx = DmxPatch{1, 19};
        Surface d = colourSurface(rect(0.5, 0.5, 1, 1), {1, 1, 1, 1});
        d.mediaKind = MediaKind::shader;
        d.mediaPath = folder
                          .write("level.fs", R"(/*{"INPUTS": [
            {"NAME": "gain", "TYPE": "color", "DEFAULT": [1, 1, 1, 1]},
            {"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0.2, "MAX": 0.6},
            {"NAME": "other", "TYPE": "float", "DEFAULT": 1}]}*/
void main() { gl_FragColor = vec4(0.0, level * other, 0.0, 1.0); })")
                          .string();
        d.dmx = DmxPatch{1, 28};
        model.setSurfaces(std::vector<Surface>{a, b, c, d});
        Cue opening;
        CueLook look;
        look.surface = white;
        look.color = RGBA{1, 0, 0, 1};
        opening.looks.push_back(look);
        model.setCues(std::vector<Cue>{opening, Cue()});
        DmxSettings settings;
        settings.master = DmxPatch{2, 1};
        settings.media = {{MediaKind::image, "/red.png"}, {MediaKind::video, "/clip.mp4"}};
        model.setDmx(settings);
        show.emplace(model, layer);
        show->setCueRunner(&runner);
        runner.setBlackoutFade(0.0);
        if (!useGlContext()) {
            return;
        }
        MediaBackend backend = media.backend();
        backend.shadersAtOnce = true;
        editor = Renderer::create(model, std::nullopt, backend);
        output = Renderer::create(model, makeOutput(OutputPreset::full), backend);
        fb = OffscreenFramebuffer::create(16, 16);
        for (Renderer* r : {editor.get(), output.get()}) {
            if (r != nullptr) {
                r->setLiveLayer(&layer);
            }
        }
    }
    explicit operator bool() const { return editor && output && fb; }

    Picture draw(Renderer& renderer, double t) {
        show->apply(desk, t);
        renderer.setBlackout(runner.state().blackout);
        renderer.draw(fb->target(), t);
        return Picture{16, 16, fb->readPixels()};
    }
    // Full levels for a surface fixture but what is given.
    static std::vector<std::uint8_t> fixture(std::uint16_t intensity = 0xffff,
                                             std::array<std::uint8_t, 3> rgb = {255, 255, 255},
                                             std::uint8_t media = 0, std::uint8_t playback = 0,
                                             std::uint16_t shader = 0) {
        return {static_cast<std::uint8_t>(intensity >> 8),
                static_cast<std::uint8_t>(intensity),
                rgb[0],
                rgb[1],
                rgb[2],
                media,
                playback,
                static_cast<std::uint8_t>(shader >> 8),
                static_cast<std::uint8_t>(shader)};
    }
};

TEST(DmxPixels, SurfaceFixtureChannels) {
    Stage stage;
    if (!stage) {
        GTEST_SKIP() << "no GL context";
    }
    // Untouched by a silent desk: the project's look.
    Picture p = stage.draw(*stage.editor, 0.0);
    expectRgb(p.at(4, 4), 255, 255, 255, "white");
    expectRgb(p.at(12, 4), 200, 200, 200, "grey still");
    expectRgb(p.at(4, 12), 0, 0, 255, "blue");
    expectRgb(p.at(12, 12), 0, 127.5, 0, "shader's default level");

    stage.desk.set(1, 1, Stage::fixture(0x8000));                      // half intensity
    stage.desk.set(1, 10, Stage::fixture(0xffff, {255, 128, 0}));      // tint the still
    stage.desk.set(1, 19, Stage::fixture(0xffff, {255, 255, 255}, 1)); // media entry 1
    stage.desk.set(1, 28, Stage::fixture(0xffff, {255, 255, 255}, 0, 0, 0x8000));
    p = stage.draw(*stage.editor, 0.1);
    expectRgb(p.at(4, 4), 255 * 32768.0 / 65535, 255 * 32768.0 / 65535, 255 * 32768.0 / 65535,
              "intensity");
    expectRgb(p.at(12, 4), 200, 200 * 128.0 / 255, 0, "tinted still");
    expectRgb(p.at(4, 12), 255, 0, 0, "media entry 1");
    // The first float input across its MIN..MAX, the second left as it is.
    expectRgb(p.at(12, 12), 0, 255 * (0.2 + 0.4 * 32768.0 / 65535), 0, "shader level");

    // A tint multiplies a shader's picture too, and intensity 0 hides.
    stage.desk.set(1, 28, Stage::fixture(0xffff, {255, 0, 255}, 0, 0, 0xffff));
    stage.desk.set(1, 1, Stage::fixture(0));
    p = stage.draw(*stage.editor, 0.2);
    expectRgb(p.at(12, 12), 0, 0, 0, "green tinted away");
    expectRgb(p.at(4, 4), 0, 0, 0, "no intensity");
    EXPECT_EQ(stage.model.surfaces()[0].opacity, 1.0); // the project keeps its values
}

TEST(DmxPixels, PlaybackHoldsAndResumesAVideo) {
    Stage stage;
    if (!stage) {
        GTEST_SKIP() << "no GL context";
    }
    stage.desk.set(1, 19, Stage::fixture(0xffff, {255, 255, 255}, 2)); // the video entry
    expectRgb(stage.draw(*stage.editor, 0.5).at(4, 12), 255, 0, 0, "first picture");
    stage.desk.set(1, 19, Stage::fixture(0xffff, {255, 255, 255}, 2, 150)); // pause
    expectRgb(stage.draw(*stage.editor, 1.5).at(4, 12), 255, 0, 0, "held");
    stage.desk.set(1, 19, Stage::fixture(0xffff, {255, 255, 255}, 2, 0));
    expectRgb(stage.draw(*stage.editor, 1.6).at(4, 12), 0, 0, 255, "going on");
}

TEST(DmxPixels, ShowFixtureMasterGoAndBlackout) {
    Stage stage;
    if (!stage) {
        GTEST_SKIP() << "no GL context";
    }
    const auto showLevels = [&stage](std::uint16_t master, std::uint8_t go, std::uint8_t blackout) {
        stage.desk.set(2, 1,
                       {static_cast<std::uint8_t>(master >> 8), static_cast<std::uint8_t>(master),
                        0, 1, go, blackout});
    };
    showLevels(0x4000, 0, 0);
    const double quarter = 255 * 16384.0 / 65535;
    expectRgb(stage.draw(*stage.output, 0.0).at(4, 4), quarter, quarter, quarter, "master");
    expectRgb(stage.draw(*stage.editor, 0.0).at(4, 4), 255, 255, 255, "the editor shows all");
    showLevels(0xffff, 255, 0); // GO on cue 1: the white surface turns red
    stage.clock.seconds = 1.0;
    expectRgb(stage.draw(*stage.output, 1.0).at(4, 4), 255, 0, 0, "GO");
    EXPECT_EQ(stage.runner.liveIndex(), 0u);
    showLevels(0xffff, 255, 255);
    expectRgb(stage.draw(*stage.output, 2.0).at(4, 4), 0, 0, 0, "blackout");
    showLevels(0xffff, 255, 0);
    expectRgb(stage.draw(*stage.output, 3.0).at(4, 4), 255, 0, 0, "back");
}

} // namespace
} // namespace prismeta::test
