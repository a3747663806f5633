#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <memory>

namespace prismeta::test {

bool useGlContext() {
    static auto context = HeadlessContext::create();
    if (!context) {
        ADD_FAILURE() << context.error();
        return false;
    }
    return context.value()->makeCurrent();
}

std::array<int, 4> Picture::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) *
                          4;
    return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
}

Picture renderFrame(const ProjectModel& model, std::optional<OutputConfig> output, int width,
                    int height, MediaBackend media, double hostTime) {
    if (!useGlContext()) {
        return {};
    }
    auto renderer = Renderer::create(model, std::move(output), std::move(media));
    auto target = OffscreenFramebuffer::create(width, height);
    if (!renderer || !target) {
        ADD_FAILURE() << "no renderer or framebuffer";
        return {};
    }
    renderer->draw(target->target(), hostTime);
    Picture picture{width, height, target->readPixels()};
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return picture;
}

Surface colourSurface(std::vector<Pt> corners, RGBA colour, double opacity) {
    Surface s;
    s.corners = std::move(corners);
    s.mediaKind = MediaKind::color;
    s.color = colour;
    s.opacity = opacity;
    return s;
}

std::vector<Surface> checkerSurfaces(int n) {
    std::vector<Surface> squares;
    for (int j = 0; j < n; ++j) {
        for (int i = (j % 2); i < n; i += 2) {
            const float x0 = static_cast<float>(i) / n, y0 = static_cast<float>(j) / n;
            squares.push_back(colourSurface(
                rect(x0, y0, x0 + 1.0f / static_cast<float>(n), y0 + 1.0f / static_cast<float>(n)),
                {1, 1, 1, 1}));
        }
    }
    return squares;
}

} // namespace prismeta::test
