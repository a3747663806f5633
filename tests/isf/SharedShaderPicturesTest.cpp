// Shader surfaces shown by several renderers, each in a GL context of its
// own, through one set of shared pictures rendered in yet another context:
// each shader runs once a frame, every window reads the same picture (same
// TIME, the largest size asked for), across contexts.
#include "../core/ScratchFolder.h"
#include "../render/GlTestSupport.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"
#include "render/SharedShaderPictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace prismeta::test {
namespace {

// One window: a renderer and its framebuffer, in a context of its own.
struct Window {
    std::unique_ptr<HeadlessContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<OffscreenFramebuffer> fb;
};

struct SharedScene {
    ScratchFolder folder;
    ProjectModel model;
    std::unique_ptr<HeadlessContext> shaderContext;
    HeadlessContext* drawing = nullptr; // the context a renderer draws in now
    std::shared_ptr<SharedShaderPictures> pictures;
    std::deque<Window> windows; // stable references
    std::uint64_t frameKey = 0;

    // The shared pictures, with the host's frame key when keyed.
    bool start(bool keyed) {
        auto made = HeadlessContext::create();
        if (!made) {
            ADD_FAILURE() << made.error();
            return false;
        }
        shaderContext = std::move(made).value();
        ShaderPictureContext context;
        context.enter = [this] { return shaderContext->makeCurrent(); };
        context.leave = [this] { drawing->makeCurrent(); };
        MediaBackend backend;
        backend.shadersAtOnce = true;
        std::function<std::uint64_t()> key;
        if (keyed) {
            key = [this] { return frameKey; };
        }
        pictures = std::make_shared<SharedShaderPictures>(backend, context, key);
        return true;
    }
    // A window showing the output's crop (none: the editor) at width x height.
    Window& open(std::optional<OutputConfig> output, int width, int height) {
        auto context = shaderContext->createSharing();
        EXPECT_TRUE(context) << context.error();
        Window window;
        window.context = std::move(context).value();
        MediaBackend backend;
        backend.shadersAtOnce = true;
        window.renderer = Renderer::create(model, std::move(output), backend);
        window.renderer->setSharedShaders(pictures);
        window.fb = OffscreenFramebuffer::create(width, height);
        windows.push_back(std::move(window));
        return windows.back();
    }
    Picture draw(Window& window, double time) {
        drawing = window.context.get();
        drawing->makeCurrent();
        window.renderer->draw(window.fb->target(), time);
        return Picture{window.fb->width(), window.fb->height(), window.fb->readPixels()};
    }
    Surface shaderSurface(std::vector<Pt> corners, const std::string& name,
                          const std::string& source, ShaderInputs inputs = {}) {
        Surface s;
        s.corners = std::move(corners);
        s.mediaKind = MediaKind::shader;
        s.mediaPath = folder.write(name, source).string();
        s.shaderInputs = std::move(inputs);
        return s;
    }
    ~SharedScene() {
        // Each renderer goes in its own context, the pictures in theirs.
        for (Window& window : windows) {
            drawing = window.context.get();
            drawing->makeCurrent();
            window.renderer.reset();
            window.fb.reset();
        }
        if (!windows.empty()) {
            pictures.reset();
        }
        windows.clear();
    }
};

const char* const tintShader =
    R"(/*{"INPUTS": [{"NAME": "tint", "TYPE": "color", "DEFAULT": [1, 1, 1, 1]}]}*/
void main() { gl_FragColor = vec4(tint.rgb, 1.0); })";

OutputConfig crop(float x, float width) {
    OutputConfig output{Uuid::random()};
    output.cropX = x;
    output.cropWidth = width;
    return output;
}

void expectRgb(const Picture& p, int x, int y, std::array<double, 3> rgb) {
    const auto px = p.at(x, y);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(px[static_cast<std::size_t>(c)], rgb[static_cast<std::size_t>(c)], 1.0)
            << "channel " << c << " at " << x << "," << y;
    }
}

TEST(SharedShaderPictures, EditorAndTwoOutputsRunEachShaderOncePerFrame) {
    SharedScene scene;
    if (!scene.start(false)) {
        return;
    }
    // Four quadrants, each its own shader surface with its own tint.
    const std::array<std::array<double, 3>, 4> tints = {
        {{0.25, 0.5, 0.75}, {1.0, 0.0, 0.5}, {0.0, 1.0, 0.25}, {0.5, 0.5, 0.0}}};
    std::vector<Surface> surfaces;
    for (int i = 0; i < 4; ++i) {
        const float x = (i % 2) * 0.5f;
        const float y = (i / 2) * 0.5f;
        const auto& t = tints[static_cast<std::size_t>(i)];
        surfaces.push_back(scene.shaderSurface(
            rect(x, y, x + 0.5f, y + 0.5f), "tint" + std::to_string(i) + ".fs", tintShader,
            {{"tint", ShaderInputValue::ofColor(t[0], t[1], t[2], 1.0)}}));
    }
    scene.model.setSurfaces(surfaces);
    Window& editor = scene.open(std::nullopt, 32, 32);
    Window& left = scene.open(crop(0.0f, 0.5f), 16, 32);
    Window& right = scene.open(crop(0.5f, 0.5f), 16, 32);
    ASSERT_TRUE(editor.renderer && left.renderer && right.renderer);

    for (double time : {1.0, 2.0, 3.0}) {
        const Picture e = scene.draw(editor, time);
        const Picture l = scene.draw(left, time);
        const Picture r = scene.draw(right, time);
        const auto byte = [&](int i) {
            const auto& t = tints[static_cast<std::size_t>(i)];
            return std::array<double, 3>{t[0] * 255, t[1] * 255, t[2] * 255};
        };
        expectRgb(e, 4, 4, byte(0));
        expectRgb(e, 27, 4, byte(1));
        expectRgb(e, 4, 27, byte(2));
        expectRgb(e, 27, 27, byte(3));
        expectRgb(l, 8, 4, byte(0));
        expectRgb(l, 8, 27, byte(2));
        expectRgb(r, 8, 4, byte(1));
        expectRgb(r, 8, 27, byte(3));
    }
    // Three frames of four shaders, whatever the number of windows.
    EXPECT_EQ(scene.pictures->shaderRuns(), 12);
    EXPECT_TRUE(editor.renderer->needsFrames());
    EXPECT_EQ(editor.renderer->mediaSourceCount(), 0u);

    // A surface no window shows any more is released once it is stale.
    scene.model.setSurfaces({surfaces[0]});
    scene.draw(editor, 4.0);
    EXPECT_EQ(scene.pictures->size(), 4u);
    scene.draw(editor, 4.0 + SharedShaderPictures::staleSeconds + 0.5);
    EXPECT_EQ(scene.pictures->size(), 1u);
}

TEST(SharedShaderPictures, AFrameHasOneTimeAndTheLargestSizeAskedFor) {
    SharedScene scene;
    if (!scene.start(true)) {
        return;
    }
    // Red: TIME's fraction; green: the picture's width in pixels.
    scene.model.setSurfaces({scene.shaderSurface(fullCanvas(), "time.fs",
                                                 R"(/*{}*/
void main() { gl_FragColor = vec4(fract(TIME), RENDERSIZE.x / 255.0, 0.0, 1.0); })")});
    Window& small = scene.open(std::nullopt, 16, 16);
    Window& large = scene.open(crop(0.0f, 1.0f), 32, 32);
    ASSERT_TRUE(small.renderer && large.renderer);

    // One frame key, two host times: the later window shows the first one's TIME.
    scene.frameKey = 1;
    expectRgb(scene.draw(small, 0.25), 8, 8, {0.25 * 255, 16, 0});
    expectRgb(scene.draw(large, 0.5), 20, 20, {0.25 * 255, 16, 0});
    // The next frame renders once, at the largest size asked for before.
    scene.frameKey = 2;
    expectRgb(scene.draw(large, 0.75), 20, 20, {0.75 * 255, 32, 0});
    expectRgb(scene.draw(small, 0.8), 8, 8, {0.75 * 255, 32, 0});
    EXPECT_EQ(scene.pictures->shaderRuns(), 2);
}

TEST(SharedShaderPictures, AShaderThatDoesNotCompileIsLoggedOnceForEveryWindow) {
    std::vector<std::string> log;
    ScopedLogSink sink([&log](std::string_view line) { log.emplace_back(line); });
    SharedScene scene;
    if (!scene.start(false)) {
        return;
    }
    scene.model.setSurfaces({scene.shaderSurface(fullCanvas(), "broken.fs",
                                                 "/*{}*/\nvoid main() { gl_FragColor = nope; }")});
    Window& editor = scene.open(std::nullopt, 8, 8);
    Window& output = scene.open(crop(0.0f, 1.0f), 8, 8);
    ASSERT_TRUE(editor.renderer && output.renderer);
    for (double time : {1.0, 2.0}) {
        expectRgb(scene.draw(editor, time), 4, 4, {38, 38, 43}); // the placeholder
        expectRgb(scene.draw(output, time), 4, 4, {38, 38, 43});
    }
    EXPECT_FALSE(editor.renderer->needsFrames()); // a failed shader changes no more
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("broken.fs"), std::string::npos);
}

} // namespace
} // namespace prismeta::test
