#pragma once

#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "render/MediaBackend.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <memory>
#include <optional>
#include <utility>

namespace prismeta::test {

// One editor renderer of a model drawing into a framebuffer of its own, for
// tests that read back what the model's media put on the canvas. Empty
// (false) where no GL context can be had.
struct HeadlessCanvas {
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<OffscreenFramebuffer> fb;

    HeadlessCanvas(const ProjectModel& model, MediaBackend media, int width, int height)
        : width_(width), height_(height) {
        if (useGlContext()) {
            renderer = Renderer::create(model, std::nullopt, std::move(media));
            fb = OffscreenFramebuffer::create(width, height);
        }
    }
    explicit operator bool() const { return renderer && fb; }

    Picture draw(double hostTime) {
        renderer->draw(fb->target(), hostTime);
        return Picture{width_, height_, fb->readPixels()};
    }

private:
    int width_;
    int height_;
};

} // namespace prismeta::test
