// Pixels of headless frames against values worked out from the mathematics:
// the perspective map of a quad, premultiplied "over" blending, the feather,
// the crop and the edge-blend ramps.
#include "FakeMedia.h"
#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace prismeta::test {
namespace {

void expectRgb(const Picture& p, int x, int y, double r, double g, double b,
               double tolerance = 1.0) {
    const auto px = p.at(x, y);
    EXPECT_NEAR(px[0], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(px[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(px[2], b, tolerance) << "blue at " << x << "," << y;
    EXPECT_EQ(px[3], 255) << "alpha at " << x << "," << y;
}

// The planar perspective map taking the unit square's corners (0,0), (1,0),
// (1,1), (0,1) to p0..p3, and its inverse, in double precision.
class PixelHomography {
public:
    explicit PixelHomography(const std::vector<Pt>& p) {
        const double x0 = p[0].x, y0 = p[0].y, x1 = p[1].x, y1 = p[1].y;
        const double x2 = p[2].x, y2 = p[2].y, x3 = p[3].x, y3 = p[3].y;
        const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
        const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
        const double den = dx1 * dy2 - dx2 * dy1;
        const double g = (sx * dy2 - dx2 * sy) / den;
        const double h = (dx1 * sy - sx * dy1) / den;
        m_ = {x1 - x0 + g * x1,
              x3 - x0 + h * x3,
              x0,
              y1 - y0 + g * y1,
              y3 - y0 + h * y3,
              y0,
              g,
              h,
              1};
    }
    std::array<double, 2> map(double u, double v) const { return apply(m_, u, v); }
    std::array<double, 2> unmap(double x, double y) const { return apply(inverse(), x, y); }

private:
    using M = std::array<double, 9>;
    static std::array<double, 2> apply(const M& m, double a, double b) {
        const double w = m[6] * a + m[7] * b + m[8];
        return {(m[0] * a + m[1] * b + m[2]) / w, (m[3] * a + m[4] * b + m[5]) / w};
    }
    M inverse() const {
        const M& m = m_;
        const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                           m[2] * (m[3] * m[7] - m[4] * m[6]);
        return {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
                (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
                (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
                (m[0] * m[4] - m[1] * m[3]) / det};
    }
    M m_{};
};

// A 256 x 256 image whose red is the column and green the row: with linear
// filtering, texture point (u, v) reads red u * 256 - 0.5 and green v * 256 - 0.5.
FakeMedia::Picture gradient() {
    FakeMedia::Picture p{256, 256, std::vector<std::uint8_t>(256 * 256 * 4)};
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            std::uint8_t* px = &p.rgba[static_cast<std::size_t>(y * 256 + x) * 4];
            px[0] = static_cast<std::uint8_t>(x);
            px[1] = static_cast<std::uint8_t>(y);
            px[2] = 0;
            px[3] = 255;
        }
    }
    return p;
}

// Draws the gradient on a quad and checks texture points along and across the
// diagonal 0-2 against the perspective map.
void expectPerspectiveMapping(const std::vector<Pt>& corners) {
    constexpr int size = 128;
    FakeMedia media;
    media.images["/gradient.png"] = gradient();
    Surface s;
    s.corners = corners;
    s.mediaKind = MediaKind::image;
    s.mediaPath = "/gradient.png";
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{s});
    const Picture p = renderFrame(model, std::nullopt, size, size, media.backend());
    ASSERT_EQ(p.width, size);

    const PixelHomography h(corners);
    int checked = 0;
    for (double t = 0.1; t < 0.95; t += 0.1) {
        for (const auto& [u, v] :
             {std::array{t, t}, std::array{t + 0.06, t - 0.06}, std::array{t - 0.06, t + 0.06}}) {
            if (u < 0.05 || v < 0.05 || u > 0.95 || v > 0.95) {
                continue;
            }
            const auto at = h.map(u, v);
            const int x = static_cast<int>(at[0] * size);
            const int y = static_cast<int>(at[1] * size);
            // The exact texture point at that pixel's centre.
            const auto uv = h.unmap(centreX(x, size), centreY(y, size));
            const auto px = p.at(x, y);
            EXPECT_NEAR(px[0], uv[0] * 256 - 0.5, 2.0) << "u at texture point " << u << "," << v;
            EXPECT_NEAR(px[1], uv[1] * 256 - 0.5, 2.0) << "v at texture point " << u << "," << v;
            ++checked;
        }
    }
    EXPECT_GT(checked, 20);
}

TEST(RendererPixels, TrapezoidIsMappedInPerspectiveAcrossTheSharedDiagonal) {
    expectPerspectiveMapping({{0.05f, 0.1f}, {0.95f, 0.1f}, {0.7f, 0.9f}, {0.3f, 0.9f}});
    expectPerspectiveMapping({{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}});
}

TEST(RendererPixels, ParallelogramIsMappedLinearly) {
    // For a parallelogram the perspective map is affine.
    expectPerspectiveMapping({{0.1f, 0.1f}, {0.7f, 0.2f}, {0.9f, 0.9f}, {0.3f, 0.8f}});
}

TEST(RendererPixels, ColourIsPremultipliedWithOpacityOverBlack) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 0, 0, 0.5f}, 0.5)});
    const Picture p = renderFrame(model, std::nullopt, 16, 16);
    ASSERT_EQ(p.width, 16);
    // (1, 0, 0) * 0.5 * 0.5 over opaque black; the drawable stays opaque.
    expectRgb(p, 8, 8, 0.25 * 255, 0, 0);
}

TEST(RendererPixels, LaterSurfacesStackOverEarlierOnes) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{
        colourSurface(rect(0, 0, 0.75f, 1), {1, 0, 0, 1}),
        colourSurface(rect(0.25f, 0, 1, 1), {0, 0, 1, 1}, 0.5),
    });
    const Picture p = renderFrame(model, std::nullopt, 64, 8);
    ASSERT_EQ(p.width, 64);
    expectRgb(p, 8, 4, 255, 0, 0);        // red alone
    expectRgb(p, 32, 4, 127.5, 0, 127.5); // half blue over red
    expectRgb(p, 56, 4, 0, 0, 127.5);     // half blue over black
}

TEST(RendererPixels, FeatherHalvesAlphaHalfwayIntoTheBorder) {
    constexpr int width = 200;
    const auto frame = [](float feather) {
        Surface s = colourSurface(fullCanvas(), {1, 1, 1, 1});
        s.feather = feather;
        ProjectModel model;
        model.setSurfaces(std::vector<Surface>{s});
        return renderFrame(model, std::nullopt, width, 100);
    };
    const Picture soft = frame(0.1f);
    ASSERT_EQ(soft.width, width);
    for (int x : {0, 5, 9, 10, 15, 19, 20, 100, 190, 199}) {
        const double u = centreX(x, width);
        const double edge = std::min(u, 1 - u);
        const double alpha = std::clamp(edge / 0.1, 0.0, 1.0);
        expectRgb(soft, x, 50, 255 * alpha, 255 * alpha, 255 * alpha);
    }
    // uv 0.05 (between columns 9 and 10) is half way: about 127.5.
    EXPECT_NEAR((soft.at(9, 50)[0] + soft.at(10, 50)[0]) / 2.0, 127.5, 1.5);

    const Picture off = frame(0.0001f); // at the threshold: no feather at all
    expectRgb(off, 0, 50, 255, 255, 255);
    expectRgb(off, 0, 0, 255, 255, 255);
}

TEST(RendererPixels, CropShowsItsPartOfTheCanvasOverTheWholeTarget) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{
        colourSurface(rect(0, 0, 0.5f, 1), {1, 0, 0, 1}),
        colourSurface(rect(0.5f, 0, 1, 1), {0, 1, 0, 1}),
        // A small blue square centred on canvas point (0.75, 0.5).
        colourSurface(rect(0.7f, 0.4f, 0.8f, 0.6f), {0, 0, 1, 1}),
    });
    OutputConfig right;
    right.cropX = 0.5f;
    right.cropWidth = 0.5f;
    const Picture p = renderFrame(model, right, 40, 40);
    ASSERT_EQ(p.width, 40);
    // The blue square spans canvas x 0.7..0.8 -> target 0.4..0.6 of 40 pixels.
    expectRgb(p, 19, 19, 0, 0, 255);
    expectRgb(p, 20, 20, 0, 0, 255);
    expectRgb(p, 8, 19, 0, 255, 0);
    expectRgb(p, 15, 19, 0, 255, 0);
    expectRgb(p, 16, 19, 0, 0, 255);
    expectRgb(p, 23, 19, 0, 0, 255);
    expectRgb(p, 24, 19, 0, 255, 0);
    expectRgb(p, 0, 0, 0, 255, 0); // no red: the left half is clipped away
    expectRgb(p, 39, 39, 0, 255, 0);
}

TEST(RendererPixels, ZeroOrNonNumberCropShowsNoSurface) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 1, 1, 1})});
    for (float width : {0.0f, std::nanf("")}) {
        OutputConfig output;
        output.cropWidth = width;
        const Picture p = renderFrame(model, output, 8, 8);
        ASSERT_EQ(p.width, 8);
        expectRgb(p, 4, 4, 0, 0, 0);
    }
}

TEST(RendererPixels, SurfacesWithoutMediaShowThePlaceholderWithTheirOpacity) {
    Surface image;
    image.corners = rect(0, 0, 0.5f, 1);
    image.mediaKind = MediaKind::image; // no path
    Surface video;
    video.corners = rect(0.5f, 0, 1, 1);
    video.mediaKind = MediaKind::video;
    video.mediaPath = "/nowhere.mov";
    video.opacity = 0.5;
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{image, video});
    const Picture p = renderFrame(model, std::nullopt, 16, 4); // no media backend at all
    ASSERT_EQ(p.width, 16);
    expectRgb(p, 4, 2, 0.15 * 255, 0.15 * 255, 0.17 * 255);
    expectRgb(p, 12, 2, 0.075 * 255, 0.075 * 255, 0.085 * 255);
}

TEST(RendererPixels, TestPatternMarkersLandOnCornersZeroToThree) {
    const std::vector<Pt> corners = {{0.15f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.85f}, {0.1f, 0.9f}};
    Surface s;
    s.corners = corners;
    s.mediaKind = MediaKind::testPattern;
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{s});
    constexpr int size = 128;
    const Picture p = renderFrame(model, std::nullopt, size, size);
    ASSERT_EQ(p.width, size);
    const PixelHomography h(corners);
    // Texture points inside each 128-pixel marker, clear of the white border.
    const struct {
        double u, v;
        int r, g, b;
    } markers[] = {{0.06, 0.06, 255, 0, 0},
                   {0.94, 0.06, 0, 255, 0},
                   {0.94, 0.94, 0, 0, 255},
                   {0.06, 0.94, 255, 255, 0}};
    for (const auto& m : markers) {
        const auto at = h.map(m.u, m.v);
        expectRgb(p, static_cast<int>(at[0] * size), static_cast<int>(at[1] * size), m.r, m.g, m.b,
                  2.0);
    }
    // The centre of the pattern is the crossing of grid lines 4: grey 128 nearby.
    const auto centre = h.map(0.5, 0.5);
    EXPECT_GT(p.at(static_cast<int>(centre[0] * size), static_cast<int>(centre[1] * size))[0], 20);
}

TEST(RendererPixels, MeshedSurfaceShowsTheSamePictureAsThePlainQuad) {
    Surface plain;
    plain.corners = rect(0.1f, 0.1f, 0.9f, 0.9f);
    plain.mediaKind = MediaKind::testPattern;
    Surface meshed = plain;
    meshed.mesh = WarpMesh::from(meshed.corners, 6, 6);
    ProjectModel a;
    a.setSurfaces(std::vector<Surface>{plain});
    ProjectModel b;
    b.setSurfaces(std::vector<Surface>{meshed});
    const Picture pa = renderFrame(a, std::nullopt, 64, 64);
    const Picture pb = renderFrame(b, std::nullopt, 64, 64);
    ASSERT_EQ(pa.width, 64);
    ASSERT_EQ(pb.width, 64);
    int differing = 0;
    for (std::size_t i = 0; i < pa.rgba.size(); ++i) {
        differing += std::abs(pa.rgba[i] - pb.rgba[i]) > 2 ? 1 : 0;
    }
    EXPECT_EQ(differing, 0);
}

TEST(RendererPixels, ManySurfacesEachGetTheirOwnUniforms) {
    // Each surface reads its block at its own aligned offset.
    ProjectModel model;
    std::vector<Surface> surfaces;
    for (int i = 0; i < 8; ++i) {
        const float x = static_cast<float>(i) / 8;
        surfaces.push_back(colourSurface(rect(x, 0, x + 0.125f, 1),
                                         {static_cast<float>(i) / 7, 1 - static_cast<float>(i) / 7,
                                          static_cast<float>(i % 2), 1}));
    }
    model.setSurfaces(surfaces);
    const Picture p = renderFrame(model, std::nullopt, 64, 4);
    ASSERT_EQ(p.width, 64);
    for (int i = 0; i < 8; ++i) {
        expectRgb(p, i * 8 + 4, 2, 255.0 * i / 7, 255.0 * (7 - i) / 7, 255.0 * (i % 2));
    }
}

// --- edge-blend overlay

Picture whiteOutput(std::optional<OutputConfig> output, int width, int height) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 1, 1, 1})});
    return renderFrame(model, std::move(output), width, height);
}

OutputConfig blends(float left, float right, float top, float bottom) {
    OutputConfig o;
    o.blendLeft = left;
    o.blendRight = right;
    o.blendTop = top;
    o.blendBottom = bottom;
    return o;
}

TEST(BlendOverlay, LeftRampOverATenthOf1920Pixels) {
    const Picture p = whiteOutput(blends(0.1f, 0, 0, 0), 1920, 2);
    ASSERT_EQ(p.width, 1920);
    for (int x : {0, 1, 48, 95, 96, 150, 191}) {
        // Darkening 1 - d / w at the pixel centre d leaves d / w of the white.
        const double kept = (x + 0.5) / 192.0;
        expectRgb(p, x, 1, 255 * kept, 255 * kept, 255 * kept);
    }
    EXPECT_LE(p.at(0, 0)[0], 1);             // the outermost column is black
    EXPECT_NEAR(p.at(96, 0)[0], 127.5, 1.5); // half at 96
    expectRgb(p, 192, 0, 255, 255, 255);     // the rest is untouched
    expectRgb(p, 1919, 0, 255, 255, 255);
}

TEST(BlendOverlay, CornerBandsMultiply) {
    constexpr int size = 100;
    const Picture p = whiteOutput(blends(0.2f, 0.2f, 0.2f, 0.2f), size, size);
    ASSERT_EQ(p.width, size);
    const auto kept = [](double d) { return std::clamp(d / 0.2, 0.0, 1.0); };
    for (const auto& [x, y] : {std::array{9, 9}, std::array{5, 15}, std::array{90, 9},
                               std::array{95, 95}, std::array{50, 3}, std::array{50, 50}}) {
        const double cx = centreX(x, size), cy = centreY(y, size);
        const double k = kept(cx) * kept(1 - cx) * kept(cy) * kept(1 - cy);
        expectRgb(p, x, y, 255 * k, 255 * k, 255 * k, 1.5);
    }
    EXPECT_LE(p.at(0, 0)[0], 1);
}

TEST(BlendOverlay, BandsIgnoreTheCrop) {
    OutputConfig o = blends(0.25f, 0, 0, 0);
    o.cropX = 0.5f;
    o.cropWidth = 0.5f;
    const Picture p = whiteOutput(o, 40, 2);
    ASSERT_EQ(p.width, 40);
    const double kept = (4 + 0.5) / 10.0;
    expectRgb(p, 4, 0, 255 * kept, 255 * kept, 255 * kept);
    expectRgb(p, 10, 0, 255, 255, 255);
}

TEST(BlendOverlay, NoRampForWidthsAtOrBelowZeroNorInTheEditor) {
    for (const auto& output :
         {std::optional(blends(0, 0, 0, 0)), std::optional(blends(-0.2f, -1, 0, std::nanf(""))),
          std::optional<OutputConfig>()}) {
        const Picture p = whiteOutput(output, 16, 16);
        ASSERT_EQ(p.width, 16);
        for (const auto& [x, y] : {std::array{0, 0}, std::array{15, 0}, std::array{0, 15},
                                   std::array{15, 15}, std::array{8, 8}}) {
            expectRgb(p, x, y, 255, 255, 255);
        }
    }
    // The editor ignores the blends of the project's outputs.
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {1, 1, 1, 1})});
    model.setOutputs({blends(0.5f, 0.5f, 0.5f, 0.5f)});
    const Picture editor = renderFrame(model, std::nullopt, 16, 16);
    expectRgb(editor, 0, 0, 255, 255, 255);
}

TEST(BlendOverlay, WidthBeyondOneHalvesTheFarEdge) {
    const Picture p = whiteOutput(blends(2, 0, 0, 0), 40, 2);
    ASSERT_EQ(p.width, 40);
    EXPECT_NEAR(p.at(39, 0)[0], 255 * (39.5 / 80), 1.0);
}

// --- the frame's target

TEST(RendererFrame, ClearsAndDrawsOnlyItsOwnViewport) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(rect(0, 0, 0.5f, 0.5f), {1, 0, 0, 1})});
    auto renderer = Renderer::create(model, std::nullopt);
    auto fb = OffscreenFramebuffer::create(32, 32);
    ASSERT_TRUE(renderer && fb);
    glBindFramebuffer(GL_FRAMEBUFFER, fb->target().framebuffer);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // A 16 x 8 viewport at GL (8, 4): rows 20..27 from the top, columns 8..23.
    renderer->draw({fb->target().framebuffer, 8, 4, 16, 8}, 0);
    const Picture p{32, 32, fb->readPixels()};
    expectRgb(p, 8, 20, 255, 0, 0); // canvas top-left quarter
    expectRgb(p, 15, 23, 255, 0, 0);
    expectRgb(p, 16, 20, 0, 0, 0); // cleared to black
    expectRgb(p, 23, 27, 0, 0, 0);
    expectRgb(p, 7, 20, 0, 0, 255); // outside: untouched
    expectRgb(p, 8, 19, 0, 0, 255);
    expectRgb(p, 24, 27, 0, 0, 255);
    expectRgb(p, 8, 28, 0, 0, 255);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(RendererFrame, SetsItsOwnStateWhateverTheHostLeftBound) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), {0, 1, 0, 0.5f})});
    auto renderer = Renderer::create(model, std::nullopt);
    auto fb = OffscreenFramebuffer::create(8, 8);
    ASSERT_TRUE(renderer && fb);
    // What a QPainter might leave behind.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 1, 1);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT_AND_BACK);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ZERO);
    glColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 3);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    renderer->draw(fb->target(), 0);
    const Picture p{8, 8, fb->readPixels()};
    expectRgb(p, 4, 4, 0, 127.5, 0);
    expectRgb(p, 0, 7, 0, 127.5, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_CULL_FACE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

TEST(RendererFrame, EmptyTargetDrawsNothing) {
    ASSERT_TRUE(useGlContext());
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{Surface()});
    auto renderer = Renderer::create(model, std::nullopt);
    ASSERT_TRUE(renderer);
    renderer->draw({0, 0, 0, 0, 0}, 0);
    renderer->draw({0, 0, 0, -5, 10}, 0);
    EXPECT_EQ(renderer->mediaSourceCount(), 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(RendererFrame, BrokenSurfacesAreSkippedAndTheRestDrawn) {
    Surface fewCorners = colourSurface({{0, 0}, {1, 0}, {1, 1}}, {1, 0, 0, 1});
    Surface shortMesh = colourSurface(fullCanvas(), {1, 0, 0, 1});
    shortMesh.mesh = WarpMesh{4, 4, std::vector<Pt>(3)};
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{fewCorners, shortMesh,
                                           colourSurface(rect(0, 0, 0.5f, 1), {0, 0, 1, 1})});
    const Picture p = renderFrame(model, std::nullopt, 8, 8);
    ASSERT_EQ(p.width, 8);
    expectRgb(p, 2, 4, 0, 0, 255);
    expectRgb(p, 6, 4, 0, 0, 0);
}

} // namespace
} // namespace prismeta::test
