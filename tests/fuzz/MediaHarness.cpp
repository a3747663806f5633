#include "MediaHarness.h"

#include "core/ProjectModel.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace prismeta::fuzz {

struct MediaHarness::State {
    std::unique_ptr<HeadlessContext> context;
    std::unique_ptr<OffscreenFramebuffer> target;
    ProjectModel model;
    std::unique_ptr<Renderer> renderer;
    Surface surface;
};

namespace {

// Passes every request on with the texture size capped.
MediaBackend capped(const MediaBackend& backend, int maxSide) {
    MediaBackend wrapped = backend;
    if (backend.openImage) {
        wrapped.openImage = [open = backend.openImage, maxSide](const MediaRequest& request) {
            MediaRequest smaller = request;
            smaller.maxTextureSize = maxSide;
            return open(smaller);
        };
    }
    if (backend.openVideo) {
        wrapped.openVideo = [open = backend.openVideo, maxSide](const MediaRequest& request) {
            MediaRequest smaller = request;
            smaller.maxTextureSize = maxSide;
            return open(smaller);
        };
    }
    return wrapped;
}

} // namespace

MediaHarness* MediaHarness::get(const MediaBackend& backend, int maxSide) {
    static MediaHarness* made = [&]() -> MediaHarness* {
        auto context = HeadlessContext::create();
        if (!context) {
            std::fprintf(stderr, "media fuzz: no headless GL (%s)\n", context.error().c_str());
            return nullptr;
        }
        auto* state = new State;
        state->context = std::move(context.value());
        state->target = OffscreenFramebuffer::create(24, 16);
        state->renderer = Renderer::create(state->model, std::nullopt, capped(backend, maxSide));
        if (!state->target || !state->renderer) {
            std::fprintf(stderr, "media fuzz: renderer or framebuffer not made\n");
            std::abort();
        }
        state->surface.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        return new MediaHarness(state);
    }();
    return made;
}

MediaHarness::Shown MediaHarness::show(MediaKind kind, const std::string& path,
                                       std::initializer_list<double> hostTimes) {
    State& s = *state_;
    s.surface.mediaKind = kind;
    s.surface.mediaPath = path;
    s.model.setSurfaces(std::vector<Surface>{s.surface});
    for (const double time : hostTimes) {
        s.renderer->draw(s.target->target(), time);
    }
    // The placeholder colour (0.15, 0.15, 0.17) over the whole target, or a picture.
    const std::vector<std::uint8_t> pixels = s.target->readPixels();
    Shown shown;
    for (std::size_t i = 0; i + 3 < pixels.size() && !shown.picture; i += 4) {
        shown.picture = pixels[i] != 38 || pixels[i + 1] != 38 || pixels[i + 2] != 43;
    }

    s.surface.mediaKind = MediaKind::color;
    s.model.setSurfaces(std::vector<Surface>{s.surface});
    const auto started = std::chrono::steady_clock::now();
    s.renderer->draw(s.target->target(), 0.0);
    shown.releaseSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (std::getenv("PRISMETA_FUZZ_VERBOSE") != nullptr) {
        std::fprintf(stderr, "  %s: %s, released in %.3f s\n", mediaKindText(kind).data(),
                     shown.picture ? "picture" : "placeholder", shown.releaseSeconds);
    }
    return shown;
}

} // namespace prismeta::fuzz
