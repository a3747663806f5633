// Masks in frames: surface masks in picture coordinates follow the corners and
// the mesh; output masks darken everything beneath them, ramps and lift
// included. Expected pixels come from the geometry.
#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "masks/MaskRaster.h"
#include "render/MaskTextures.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace prismeta::test {
namespace {

Mask box(float x0, float y0, float x1, float y1, bool invert = false) {
    Mask m;
    m.points = {MaskPoint{x0, y0, {}, {}}, MaskPoint{x1, y0, {}, {}}, MaskPoint{x1, y1, {}, {}},
                MaskPoint{x0, y1, {}, {}}};
    m.invert = invert;
    return m;
}

// One frame whose mask coverage is all in before it is drawn.
Picture maskedFrame(const ProjectModel& model, std::optional<OutputConfig> output, int width,
                    int height) {
    if (!useGlContext()) {
        return {};
    }
    auto renderer = Renderer::create(model, std::move(output));
    auto target = OffscreenFramebuffer::create(width, height);
    if (!renderer || !target) {
        ADD_FAILURE() << "no renderer or framebuffer";
        return {};
    }
    renderer->setWaitForMasks(true);
    renderer->draw(target->target(), 0.0);
    EXPECT_FALSE(renderer->needsFrames());
    Picture picture{width, height, target->readPixels()};
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return picture;
}

constexpr RGBA white{1, 1, 1, 1};

// Red of each pixel of a row.
std::vector<int> redRow(const Picture& p, int y) {
    std::vector<int> row;
    for (int x = 0; x < p.width; ++x) {
        row.push_back(p.at(x, y)[0]);
    }
    return row;
}

// 255 in [from, to) pixels, 0 elsewhere.
std::vector<int> litBetween(int width, int from, int to) {
    std::vector<int> row;
    for (int x = 0; x < width; ++x) {
        row.push_back(x >= from && x < to ? 255 : 0);
    }
    return row;
}

TEST(MaskRender, SurfaceMaskIsInPictureCoordinatesAndFollowsACornerDrag) {
    ProjectModel model;
    Surface s = colourSurface(fullCanvas(), white);
    s.masks = {box(0, 0, 0.5f, 1)};
    model.setSurfaces(std::vector{s});
    constexpr int size = 40;
    EXPECT_EQ(redRow(maskedFrame(model, std::nullopt, size, size), 20), litBetween(size, 0, 20));

    // Dragged onto the right half of the canvas: the picture's left half is
    // now canvas x 0.5 to 0.75.
    s.corners = rect(0.5f, 0, 1, 1);
    model.setSurfaces(std::vector{s});
    EXPECT_EQ(redRow(maskedFrame(model, std::nullopt, size, size), 20), litBetween(size, 20, 30));

    // A second mask unites with the first; an inverted one cuts the top.
    s.masks.push_back(box(0.75f, 0, 1, 1));
    s.masks.push_back(box(0, 0, 1, 0.5f, true));
    model.setSurfaces(std::vector{s});
    const Picture p = maskedFrame(model, std::nullopt, size, size);
    std::vector<int> both = litBetween(size, 20, 30);
    std::fill(both.begin() + 35, both.end(), 255);
    EXPECT_EQ(redRow(p, 30), both);
    EXPECT_EQ(redRow(p, 10), litBetween(size, 0, 0));
}

TEST(MaskRender, SurfaceMaskFollowsTheMeshWarp) {
    // Two mesh columns; the middle mesh column pulled to canvas x 0.25, so
    // the picture's left half fills canvas x 0 to 0.25.
    ProjectModel model;
    Surface s = colourSurface(fullCanvas(), white);
    s.mesh = WarpMesh::from(s.corners, 2, 1);
    ASSERT_TRUE(s.mesh);
    s.mesh->points[1].x = 0.25f;
    s.mesh->points[4].x = 0.25f;
    s.masks = {box(0, 0, 0.5f, 1)};
    model.setSurfaces(std::vector{s});
    constexpr int size = 40;
    const Picture p = maskedFrame(model, std::nullopt, size, size);
    for (int y : {2, 20, 37}) {
        EXPECT_EQ(redRow(p, y), litBetween(size, 0, 10)) << "row " << y;
    }
}

TEST(MaskRender, OutputMaskDarkensRampsAndLiftAndFollowsTheCrop) {
    // A grey canvas seen through the right half of the canvas, with a left
    // ramp over a quarter of the output and a lift of 0.2. The window (an
    // inverted mask) covers canvas x 0.75 to 0.875, y 0.25 to 0.75: output
    // pixels 20 to 29 of 40, rows 10 to 29.
    ProjectModel model;
    model.setSurfaces(std::vector{colourSurface(fullCanvas(), RGBA{0.5f, 0.5f, 0.5f, 1})});
    OutputConfig o;
    o.cropX = 0.5f;
    o.cropWidth = 0.5f;
    o.blendLeft = 0.25f;
    o.blackLevel = {0.2f, 0.2f, 0.2f};
    o.masks = {box(0.75f, 0.25f, 0.875f, 0.75f, true)};
    constexpr int size = 40;
    const Picture p = maskedFrame(model, o, size, size);
    ASSERT_EQ(p.width, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool window = x >= 20 && x < 30 && y >= 10 && y < 30;
            double expected = 0.5 + 0.2; // the lift where no ramp is
            if (x < 10) {
                expected = 0.5 * (x + 0.5) / 10.0; // the linear ramp, no lift
            }
            if (window) {
                expected = 0.0;
            }
            ASSERT_NEAR(p.at(x, y)[0], expected * 255.0, 1.5) << x << "," << y;
        }
    }
}

TEST(MaskRender, CoverageArrivesOffTheFrameAndHoldsNoLightUntilThen) {
    if (!useGlContext()) {
        return;
    }
    ProjectModel model;
    Surface s = colourSurface(fullCanvas(), white);
    s.masks = {box(0, 0, 0.5f, 1)};
    model.setSurfaces(std::vector{s});
    auto renderer = Renderer::create(model, std::nullopt);
    auto target = OffscreenFramebuffer::create(20, 4);
    ASSERT_TRUE(renderer && target);
    renderer->draw(target->target(), 0.0);
    Picture first{20, 4, target->readPixels()};
    // Either not in yet (no light anywhere) or already in.
    if (renderer->needsFrames()) {
        EXPECT_EQ(redRow(first, 2), litBetween(20, 0, 0));
    }
    for (int i = 0; i < 2000 && renderer->needsFrames(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        renderer->draw(target->target(), 0.0);
    }
    ASSERT_FALSE(renderer->needsFrames());
    renderer->draw(target->target(), 0.0);
    EXPECT_EQ(redRow(Picture{20, 4, target->readPixels()}, 2), litBetween(20, 0, 10));
}

TEST(MaskRender, DraggedPointsReachTheTextureAsAWholeRedrawWouldMakeIt) {
    if (!useGlContext()) {
        return;
    }
    Mask mask = box(0.2f, 0.2f, 0.8f, 0.8f);
    mask.points.insert(mask.points.begin() + 1, MaskPoint{0.5f, 0.3f, {}, Pt{0.6f, 0.1f}});
    mask.feather = 0.08f;
    const MaskSpace space{0.1, 0, 0.8, 1};
    const CoverageSize size{96, 64};
    const Uuid key = Uuid::random();
    MaskTextures textures;
    std::uint64_t frame = 0;
    const auto texel = [](unsigned texture) {
        std::vector<std::uint8_t> pixels(96 * 64);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, 0);
        return pixels;
    };
    for (int drag = 0; drag < 6; ++drag) {
        // The point on the top edge and its handle, a step at a time.
        mask.points[1].y += 0.05f;
        mask.points[1].out->x -= 0.03f;
        const std::vector masks{mask};
        const unsigned texture = textures.texture(key, masks, space, size, ++frame);
        textures.finish();
        ASSERT_FALSE(textures.pending());
        const std::vector<std::uint8_t> shown = texel(texture);
        const CoverageImage whole = rasterizeMasks(masks, space, size.width, size.height);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                ASSERT_NEAR(shown[static_cast<std::size_t>(y) * 96 + static_cast<std::size_t>(x)],
                            whole.at(x, y), 1)
                    << "drag " << drag << " at " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
} // namespace prismeta::test
