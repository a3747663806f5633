// A cue's fade read back from headless frames against the formula: every
// surface the cue changes is the sum of its old look with weight 1 - p and its
// new look with weight p, premultiplied, composited over black, with
// p = (t - t0) / F. The blackout multiplies an output's picture by 1 - level.
#include "../core/ScratchFolder.h"
#include "../render/FakeMedia.h"
#include "../render/HeadlessCanvas.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <gtest/gtest.h>

namespace prismeta::test {
namespace {

// One full-canvas surface, one cue changing it, a renderer of the canvas and
// a show clock that the frames share.
struct FadeRig {
    FakeMedia media;
    ProjectModel model;
    ManualShowClock clock;
    ManualWallClock wall;
    CueRunner runner{model, clock, wall};
    Surface surface = colourSurface(fullCanvas(), {1, 0, 0, 1});
    std::unique_ptr<HeadlessCanvas> canvas;

    void start(const Surface& before, std::vector<Cue> cues) {
        surface = before;
        model.setSurfaces(std::vector<Surface>{surface});
        model.setCues(std::move(cues));
        canvas = std::make_unique<HeadlessCanvas>(model, media.backend(), 8, 8);
    }
    // A frame at show time t, with the runner's crossfade as a host hands it over.
    std::array<int, 4> at(double t) {
        canvas->renderer->setCrossfade(runner.crossfade());
        return canvas->draw(t).at(4, 4);
    }
};

Cue cueSetting(const Uuid& surface, double fade, std::optional<RGBA> colour,
               std::optional<double> opacity = std::nullopt) {
    Cue cue;
    cue.fade = fade;
    CueLook look;
    look.surface = surface;
    look.color = colour;
    look.opacity = opacity;
    cue.looks.push_back(look);
    return cue;
}

Cue cueShowing(const Uuid& surface, double fade, MediaKind kind, const char* path) {
    Cue cue;
    cue.fade = fade;
    CueLook look;
    look.surface = surface;
    look.mediaKind = kind;
    look.mediaPath = path;
    cue.looks.push_back(look);
    return cue;
}

void expectPixel(const std::array<int, 4>& px, double r, double g, double b, const char* what) {
    EXPECT_NEAR(px[0], r, 1.0) << what;
    EXPECT_NEAR(px[1], g, 1.0) << what;
    EXPECT_NEAR(px[2], b, 1.0) << what;
}

TEST(CueFadePixels, ColourToColourIsSummedPremultiplied) {
    FadeRig rig;
    const Surface red = colourSurface(fullCanvas(), {1, 0, 0, 1});
    // To blue at alpha 0.25: a straight mix would tint the fade blue at once.
    rig.start(red, {cueSetting(red.id, 4.0, RGBA{0, 0, 1, 0.25f})});
    ASSERT_TRUE(*rig.canvas);
    expectPixel(rig.at(0.0), 255, 0, 0, "before the GO");
    rig.clock.seconds = 10.0;
    ASSERT_TRUE(rig.runner.go());
    for (const double p : {0.0, 0.25, 0.5, 1.0}) {
        const double r = (1 - p) * 1.0 * 255;
        const double b = p * 0.25 * 255;
        expectPixel(rig.at(10.0 + 4.0 * p), r, 0, b, "p");
    }
    expectPixel(rig.at(20.0), 0, 0, 0.25 * 255, "after the fade");
}

TEST(CueFadePixels, OpacityFadesLinearly) {
    FadeRig rig;
    const Surface white = colourSurface(fullCanvas(), {1, 1, 1, 1}, 1.0);
    rig.start(white, {cueSetting(white.id, 2.0, std::nullopt, 0.2)});
    ASSERT_TRUE(*rig.canvas);
    rig.at(0.0);
    ASSERT_TRUE(rig.runner.go());
    const double v = (0.5 * 1.0 + 0.5 * 0.2) * 255;
    expectPixel(rig.at(1.0), v, v, v, "halfway");
}

TEST(CueFadePixels, StillToStillDrawsBothPictures) {
    FadeRig rig;
    rig.media.images["/green.png"] = solid(0, 255, 0);
    rig.media.images["/red.png"] = solid(255, 0, 0);
    Surface still = colourSurface(fullCanvas(), {1, 1, 1, 1});
    still.mediaKind = MediaKind::image;
    still.mediaPath = "/green.png";
    rig.start(still, {cueShowing(still.id, 4.0, MediaKind::image, "/red.png")});
    ASSERT_TRUE(*rig.canvas);
    expectPixel(rig.at(0.0), 0, 255, 0, "before");
    ASSERT_TRUE(rig.runner.go());
    expectPixel(rig.at(1.0), 0.25 * 255, 0.75 * 255, 0, "a quarter in");
    expectPixel(rig.at(4.0), 255, 0, 0, "done");
    rig.at(4.0);
    EXPECT_EQ(rig.canvas->renderer->mediaSourceCount(), 1u)
        << "the old picture goes after its fade";
}

TEST(CueFadePixels, VideoToVideoDrawsBothPictures) {
    FadeRig rig;
    rig.media.videos["/a.mov"].push_back({0.0, solid(0, 0, 255)});
    rig.media.videos["/b.mov"].push_back({0.0, solid(255, 255, 0)});
    Surface video = colourSurface(fullCanvas(), {1, 1, 1, 1});
    video.mediaKind = MediaKind::video;
    video.mediaPath = "/a.mov";
    rig.start(video, {cueShowing(video.id, 2.0, MediaKind::video, "/b.mov")});
    ASSERT_TRUE(*rig.canvas);
    expectPixel(rig.at(0.0), 0, 0, 255, "before");
    rig.clock.seconds = 1.0;
    ASSERT_TRUE(rig.runner.go());
    expectPixel(rig.at(1.5), 0.25 * 255, 0.25 * 255, 0.75 * 255, "a quarter in");
}

TEST(CueFadePixels, GoDuringAFadeStartsFromWhatIsOnScreen) {
    FadeRig rig;
    const Surface red = colourSurface(fullCanvas(), {1, 0, 0, 1});
    rig.start(red, {cueSetting(red.id, 4.0, RGBA{0, 0, 1, 1}),
                    cueSetting(red.id, 2.0, RGBA{0, 1, 0, 1})});
    ASSERT_TRUE(*rig.canvas);
    rig.at(0.0);
    ASSERT_TRUE(rig.runner.go()); // red to blue over 4 s
    expectPixel(rig.at(2.0), 127.5, 0, 127.5, "halfway to blue");
    rig.clock.seconds = 2.0;
    ASSERT_TRUE(rig.runner.go()); // on to green over 2 s
    expectPixel(rig.at(2.0), 127.5, 0, 127.5, "no jump at the second GO");
    expectPixel(rig.at(3.0), 63.75, 127.5, 63.75, "halfway from the mix to green");
    expectPixel(rig.at(4.0), 0, 255, 0, "done");
}

TEST(CueFadePixels, TheNextCuesStillsAreOpenedAheadOfItsGo) {
    FadeRig rig;
    rig.media.images["/first.png"] = solid(0, 0, 255);
    rig.media.images["/next.png"] = solid(255, 255, 255);
    Surface still = colourSurface(fullCanvas(), {1, 1, 1, 1});
    rig.start(still, {cueShowing(still.id, 0.0, MediaKind::image, "/first.png"),
                      cueShowing(still.id, 0.0, MediaKind::image, "/next.png")});
    ASSERT_TRUE(*rig.canvas);
    ASSERT_TRUE(rig.runner.go());
    ASSERT_EQ(rig.runner.preload()->size(), 1u);
    rig.canvas->renderer->setPreload(rig.runner.preload());
    expectPixel(rig.at(1.0), 0, 0, 255, "cue 1");
    EXPECT_EQ(rig.media.opened["/next.png"], 1) << "cue 2's still, opened before its GO";
    EXPECT_EQ(rig.canvas->renderer->mediaSourceCount(), 2u);
    ASSERT_TRUE(rig.runner.go());
    rig.canvas->renderer->setPreload(rig.runner.preload());
    expectPixel(rig.at(1.0), 255, 255, 255, "the GO's first frame");
    EXPECT_EQ(rig.media.opened["/next.png"], 1) << "the preloaded source is the one shown";
    EXPECT_EQ(rig.canvas->renderer->mediaSourceCount(), 1u) << "nothing left to preload";
}

TEST(CueFadePixels, ACutShowsTheNewLookOnTheFirstFrame) {
    FadeRig rig;
    const Surface red = colourSurface(fullCanvas(), {1, 0, 0, 1});
    rig.start(red, {cueSetting(red.id, 0.0, RGBA{0, 1, 0, 1})});
    ASSERT_TRUE(*rig.canvas);
    rig.at(5.0);
    rig.clock.seconds = 5.0;
    ASSERT_TRUE(rig.runner.go());
    expectPixel(rig.at(5.0), 0, 255, 0, "the GO's own frame");
}

TEST(CueFadePixels, BlackoutDarkensOutputsOnly) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 1, 1, 1})});
    OutputConfig output;
    auto renderer = Renderer::create(model, output);
    auto editor = Renderer::create(model, std::nullopt);
    auto fb = OffscreenFramebuffer::create(8, 8);
    ASSERT_TRUE(renderer && editor && fb);
    const Blackout blackout = Blackout{}.switched(true, 10.0, 2.0);
    renderer->setBlackout(blackout);
    editor->setBlackout(blackout);
    const auto frame = [&fb](Renderer& r, double t) {
        r.draw(fb->target(), t);
        return Picture{8, 8, fb->readPixels()}.at(4, 4);
    };
    expectPixel(frame(*renderer, 10.0), 255, 255, 255, "at the switch");
    expectPixel(frame(*renderer, 10.5), 191.25, 191.25, 191.25, "a quarter down");
    expectPixel(frame(*renderer, 12.0), 0, 0, 0, "black");
    expectPixel(frame(*editor, 12.0), 255, 255, 255, "the editor's canvas stays");
}

// A shader surface fading between two sets of inputs runs once a frame with
// the inputs mixed: the colour and the float linearly, the long switching at
// the middle.
TEST(CueFadePixels, ShaderInputsMixInOneRunOfTheShader) {
    FadeRig rig;
    test::ScratchFolder folder;
    Surface shader = colourSurface(fullCanvas(), {1, 1, 1, 1});
    shader.mediaKind = MediaKind::shader;
    shader.mediaPath = folder
                           .write("mix.fs", R"(/*{"INPUTS": [
        {"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 0, 0, 1]},
        {"NAME": "level", "TYPE": "float", "DEFAULT": 0, "MIN": 0, "MAX": 1},
        {"NAME": "blue", "TYPE": "long", "VALUES": [0, 1], "DEFAULT": 0}]}*/
void main() { gl_FragColor = vec4(tint.r, level, float(blue), 1.0); })")
                           .string();
    Cue cue;
    cue.fade = 4.0;
    CueLook look;
    look.surface = shader.id;
    look.shaderInputs = ShaderInputs{{"tint", ShaderInputValue::ofColor(0, 0, 0, 1)},
                                     {"level", ShaderInputValue::ofNumber(1.0)},
                                     {"blue", ShaderInputValue::ofNumber(1.0)}};
    cue.looks.push_back(look);
    rig.start(shader, {cue});
    MediaBackend backend = rig.media.backend();
    backend.shadersAtOnce = true;
    rig.canvas = std::make_unique<HeadlessCanvas>(rig.model, backend, 8, 8);
    ASSERT_TRUE(*rig.canvas);
    expectPixel(rig.at(1.0), 255, 0, 0, "before the GO");
    rig.clock.seconds = 10.0;
    ASSERT_TRUE(rig.runner.go());
    for (const double p : {0.25, 0.5, 0.75}) {
        expectPixel(rig.at(10.0 + 4.0 * p), (1 - p) * 255, p * 255, p < 0.5 ? 0 : 255, "p");
    }
    expectPixel(rig.at(20.0), 0, 255, 255, "after the fade");
}

} // namespace
} // namespace prismeta::test
