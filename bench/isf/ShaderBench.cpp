// Shader surfaces: the frame of 4 surfaces showing bundled generators at
// 1920 x 1080 against the same frame with 4 stills (submission plus
// glFinish, wall time: the cost is fragment work); and what compiling a
// shader costs, where: reading and translating (off the render thread), the
// driver's compile and link, and the render thread's share of frames drawn
// while a shader compiles in the background.
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "isf/IsfShaderFile.h"
#include "render/HeadlessContext.h"
#include "render/IsfProgram.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"
#include "render/SharedShaderPictures.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace prismeta {
namespace {

HeadlessContext& context() {
    static auto made = [] {
        auto c = HeadlessContext::create();
        if (!c) {
            std::fprintf(stderr, "bench_isf: %s\n", c.error().c_str());
            std::exit(1);
        }
        std::printf("GL_RENDERER: %s (%s)\n", c.value()->rendererName().c_str(),
                    c.value()->platformName().c_str());
        return std::move(c.value());
    }();
    return *made;
}

const char* const generators[] = {"Plasma", "Noise", "Gradient", "CalibrationSweep"};

std::string bundled(const char* name) {
    return std::string(PRISMETA_SOURCE_DIR) + "/share/shaders/" + name + ".fs";
}

// A still of 960 x 540 served at once, as a decoded image is.
struct Still : ImageFeed {
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(960 * 540 * 4, 128);
    std::optional<MediaFrame> takeImage() override {
        return MediaFrame{960, 540, 960 * 4, MediaPixelFormat::rgba8, pixels.data()};
    }
};

// Four quadrants of the canvas.
std::vector<Surface> quadrants(bool shaders) {
    std::vector<Surface> surfaces;
    for (int i = 0; i < 4; ++i) {
        const float x = static_cast<float>(i % 2) * 0.5f;
        const float y = static_cast<float>(i / 2) * 0.5f;
        Surface s;
        s.corners = {{x, y}, {x + 0.5f, y}, {x + 0.5f, y + 0.5f}, {x, y + 0.5f}};
        s.mediaKind = shaders ? MediaKind::shader : MediaKind::image;
        s.mediaPath = shaders ? bundled(generators[i]) : "/still-" + std::to_string(i) + ".png";
        surfaces.push_back(s);
    }
    return surfaces;
}

// Arg: 1 shaders, 0 stills.
void BM_FourSurfacesFrame(benchmark::State& state) {
    context().makeCurrent();
    ProjectModel model;
    model.setSurfaces(quadrants(state.range(0) != 0));
    MediaBackend media;
    media.openImage = [](const MediaRequest&) { return std::make_unique<Still>(); };
    media.shadersAtOnce = true;
    auto renderer = Renderer::create(model, std::nullopt, media);
    auto target = OffscreenFramebuffer::create(1920, 1080);
    if (!renderer || !target) {
        state.SkipWithError("no renderer");
        return;
    }
    renderer->draw(target->target(), 0.0); // compile, decode, buffers
    glFinish();
    double time = 0.0;
    for (auto _ : state) {
        renderer->draw(target->target(), time += 1.0 / 60);
        glFinish();
    }
}
BENCHMARK(BM_FourSurfacesFrame)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("shaders")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The editor (960 x 540) and two outputs (1920 x 1080, the canvas' left and
// right halves), each a renderer in a GL context of its own, drawing the 4
// generators: each renderer running every shader itself (shared:0), or the
// shaders running once a frame in a context of their own, shared (shared:1).
// windows:1 draws the editor alone, which shows what sharing costs where
// there is nothing to share (two context switches per shader a frame). One
// iteration is one frame of every window, each finished. Counter "runs":
// shader renders a frame.
void BM_EditorAndTwoOutputsFrame(benchmark::State& state) {
    const bool shared = state.range(0) != 0;
    context().makeCurrent();
    auto shaderContext = context().createSharing();
    if (!shaderContext) {
        state.SkipWithError(shaderContext.error().c_str());
        return;
    }
    ProjectModel model;
    model.setSurfaces(quadrants(true));
    MediaBackend media;
    media.shadersAtOnce = true;

    struct Window {
        std::unique_ptr<HeadlessContext> context;
        std::unique_ptr<Renderer> renderer;
        std::unique_ptr<OffscreenFramebuffer> target;
    };
    HeadlessContext* drawing = nullptr;
    ShaderPictureContext switching;
    switching.enter = [&] { return shaderContext.value()->makeCurrent(); };
    switching.leave = [&] { drawing->makeCurrent(); };
    auto pictures = std::make_shared<SharedShaderPictures>(media, switching);
    std::vector<Window> windows;
    const struct {
        std::optional<OutputConfig> output;
        int width;
        int height;
    } layout[] = {{std::nullopt, 960, 540},
                  {OutputConfig{Uuid::random()}, 1920, 1080},
                  {OutputConfig{Uuid::random()}, 1920, 1080}};
    for (const auto& place : layout) {
        if (static_cast<int>(windows.size()) == state.range(1)) {
            break;
        }
        Window window;
        window.context = std::move(context().createSharing()).value();
        std::optional<OutputConfig> output = place.output;
        if (output) {
            output->cropX = windows.size() == 1 ? 0.0f : 0.5f;
            output->cropWidth = 0.5f;
        }
        window.renderer = Renderer::create(model, output, media);
        window.target = OffscreenFramebuffer::create(place.width, place.height);
        if (!window.renderer || !window.target) {
            state.SkipWithError("no renderer");
            return;
        }
        if (shared) {
            window.renderer->setSharedShaders(pictures);
        }
        windows.push_back(std::move(window));
    }
    double time = 0.0;
    const auto frame = [&] {
        time += 1.0 / 60;
        for (Window& window : windows) {
            drawing = window.context.get();
            drawing->makeCurrent();
            window.renderer->draw(window.target->target(), time);
            glFinish();
        }
    };
    frame(); // compile, buffers
    const long long runsBefore = pictures->shaderRuns();
    for (auto _ : state) {
        frame();
    }
    if (shared) {
        state.counters["runs"] =
            benchmark::Counter(static_cast<double>(pictures->shaderRuns() - runsBefore) /
                               static_cast<double>(state.iterations()));
    }
    for (Window& window : windows) {
        window.context->makeCurrent();
        window.renderer.reset();
        window.target.reset();
    }
    drawing = windows.back().context.get();
    pictures.reset();
    context().makeCurrent();
}
BENCHMARK(BM_EditorAndTwoOutputsFrame)
    ->ArgsProduct({{0, 1}, {1, 3}})
    ->ArgNames({"shared", "windows"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Reading the file, parsing its header and translating it: the part a
// background thread does.
void BM_ShaderReadAndTranslate(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(loadIsfShaderFile(bundled("CalibrationSweep")));
    }
}
BENCHMARK(BM_ShaderReadAndTranslate)->Unit(benchmark::kMicrosecond);

// The driver's compile and link, waited for.
void BM_ShaderCompileAndLink(benchmark::State& state) {
    context().makeCurrent();
    const auto file = loadIsfShaderFile(bundled("CalibrationSweep"));
    for (auto _ : state) {
        IsfProgram program;
        program.start(file->glsl);
        if (!program.link(file->shader).empty()) {
            state.SkipWithError("does not compile");
            return;
        }
    }
}
BENCHMARK(BM_ShaderCompileAndLink)->Unit(benchmark::kMillisecond)->UseRealTime();

// A new shader surface from its first frame to its first picture, drawn at
// 60 frames a second in the background mode of the windows: the render
// thread's time inside draw() (counter "render_ms"), its longest frame
// ("longest_ms") and the wall time until the picture shows.
void BM_ShaderFirstPictureInBackground(benchmark::State& state) {
    context().makeCurrent();
    auto target = OffscreenFramebuffer::create(320, 180);
    double renderSeconds = 0.0;
    double longest = 0.0;
    ScopedLogSink quiet([](std::string_view) {});
    for (auto _ : state) {
        ProjectModel model;
        std::vector<Surface> surfaces = quadrants(true);
        surfaces.resize(1);
        surfaces[0].corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        model.setSurfaces(surfaces);
        auto renderer = Renderer::create(model, std::nullopt, MediaBackend{});
        std::vector<std::uint8_t> pixels;
        for (int frame = 0; frame < 600; ++frame) {
            const auto start = std::chrono::steady_clock::now();
            renderer->draw(target->target(), frame / 60.0);
            glFinish();
            const double spent =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            renderSeconds += spent;
            longest = std::max(longest, spent);
            pixels = target->readPixels();
            if (pixels[0] != 38 || pixels[2] != 43) {
                break; // no longer the placeholder
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
    }
    state.counters["render_ms"] =
        benchmark::Counter(renderSeconds * 1e3 / static_cast<double>(state.iterations()));
    state.counters["longest_ms"] = benchmark::Counter(longest * 1e3);
}
BENCHMARK(BM_ShaderFirstPictureInBackground)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace
} // namespace prismeta
