// The edge-blend ramps on a projector: their curve and gamma, the black-level
// lift where no ramp is, and the blend test field. Expected pixels come from
// the formulas written out here, or from the plain linear overlay drawn by a
// program of the test's own.
#include "FakeMedia.h"
#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "geometry/BlendBands.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"
#include "render/ShaderProgram.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

namespace prismeta::test {
namespace {

OutputConfig output(float left, float right, float top, float bottom, float curve = 1.0f,
                    float gamma = 1.0f) {
    OutputConfig o;
    o.blendLeft = left;
    o.blendRight = right;
    o.blendTop = top;
    o.blendBottom = bottom;
    o.blendCurve = curve;
    o.blendGamma = gamma;
    return o;
}

ProjectModel& modelOf(ProjectModel& model, std::vector<Surface> surfaces) {
    model.setSurfaces(std::move(surfaces));
    return model;
}

Picture whiteThrough(const OutputConfig& o, int width, int height) {
    ProjectModel model;
    return renderFrame(modelOf(model, {colourSurface(fullCanvas(), {1, 1, 1, 1})}), o, width,
                       height);
}

// What the colour under a ramp keeps at normalised distance d into it.
double kept(double d, double curve, double gamma) {
    return std::pow(std::pow(std::clamp(d, 0.0, 1.0), curve), 1.0 / gamma);
}

// --- the curve and gamma of the ramps

TEST(BlendCurve, RampKeepsDToTheCurveToTheOneOverGammaOnEveryEdge) {
    // (curve, gamma) pairs across both ranges; the ramp is 100 pixels wide.
    const std::array<std::array<float, 2>, 7> pairs = {
        {{1, 1}, {2, 1}, {0.5f, 1}, {1, 2.2f}, {2, 2.2f}, {4, 3}, {0.5f, 3}}};
    for (const auto& [curve, gamma] : pairs) {
        SCOPED_TRACE(testing::Message() << "curve " << curve << ", gamma " << gamma);
        const Picture left = whiteThrough(output(0.5f, 0, 0, 0, curve, gamma), 200, 2);
        const Picture right = whiteThrough(output(0, 0.5f, 0, 0, curve, gamma), 200, 2);
        const Picture top = whiteThrough(output(0, 0, 0.5f, 0, curve, gamma), 2, 200);
        const Picture bottom = whiteThrough(output(0, 0, 0, 0.5f, curve, gamma), 2, 200);
        ASSERT_EQ(left.width, 200);
        // The outer edge, the middle, the inner end, and just past the band.
        for (int i : {0, 1, 25, 49, 50, 75, 98, 99, 100, 150}) {
            const double expected = 255.0 * kept((i + 0.5) / 100.0, curve, gamma);
            EXPECT_NEAR(left.at(i, 1)[0], expected, 1.0) << "left, pixel " << i;
            EXPECT_NEAR(right.at(199 - i, 1)[0], expected, 1.0) << "right, pixel " << i;
            EXPECT_NEAR(top.at(1, i)[1], expected, 1.0) << "top, pixel " << i;
            EXPECT_NEAR(bottom.at(1, 199 - i)[2], expected, 1.0) << "bottom, pixel " << i;
        }
    }
}

TEST(BlendCurve, CrossingBandsMultiplyTheirShapedRamps) {
    constexpr int size = 100;
    const Picture p = whiteThrough(output(0.2f, 0.2f, 0.2f, 0.2f, 2.0f, 2.2f), size, size);
    ASSERT_EQ(p.width, size);
    for (const auto& [x, y] : {std::array{9, 9}, std::array{3, 15}, std::array{90, 12},
                               std::array{95, 95}, std::array{50, 3}, std::array{50, 50}}) {
        const double cx = centreX(x, size), cy = centreY(y, size);
        double k = 1.0;
        for (double d : {cx, 1 - cx, cy, 1 - cy}) {
            k *= kept(d / 0.2, 2.0, 2.2);
        }
        EXPECT_NEAR(p.at(x, y)[0], 255 * k, 1.5) << x << "," << y;
    }
}

TEST(BlendCurve, ValuesOutsideTheirRangesDrawAsTheNearestEnd) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // (stored curve, stored gamma) -> (drawn curve, drawn gamma)
    const std::array<std::array<float, 4>, 4> cases = {{{0.0f, 0.5f, 0.5f, 1.0f},
                                                        {-3.0f, 9.0f, 0.5f, 3.0f},
                                                        {inf, -inf, 4.0f, 1.0f},
                                                        {nan, nan, 1.0f, 1.0f}}};
    for (const auto& [curve, gamma, drawnCurve, drawnGamma] : cases) {
        const Picture p = whiteThrough(output(0.5f, 0, 0, 0, curve, gamma), 200, 2);
        ASSERT_EQ(p.width, 200);
        for (int i : {0, 20, 50, 99}) {
            EXPECT_NEAR(p.at(i, 0)[0], 255.0 * kept((i + 0.5) / 100.0, drawnCurve, drawnGamma), 1.0)
                << "curve " << curve << ", gamma " << gamma << ", pixel " << i;
        }
    }
}

// The linear overlay as it was drawn before ramps had a curve: the same bands,
// black with the interpolated alpha.
constexpr std::string_view linearOverlayVertex = R"(#version 330 core
layout(location = 0) in vec2 pos;
layout(location = 1) in float alpha;
out float vAlpha;
void main() {
    gl_Position = vec4(2.0 * pos.x - 1.0, 1.0 - 2.0 * pos.y, 0.0, 1.0);
    vAlpha = alpha;
}
)";
constexpr std::string_view linearOverlayFragment = R"(#version 330 core
in float vAlpha;
out vec4 fragColor;
void main() { fragColor = vec4(0.0, 0.0, 0.0, vAlpha); }
)";

void drawLinearOverlay(const OutputConfig& o, const FrameTarget& target) {
    const unsigned program = buildShaderProgram(linearOverlayVertex, linearOverlayFragment);
    ASSERT_NE(program, 0u);
    const BlendBands bands = blendBands(o);
    GLuint array = 0, buffer = 0;
    glGenVertexArrays(1, &array);
    glGenBuffers(1, &buffer);
    glBindVertexArray(array);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bands.count * sizeof(BlendVertex)),
                 bands.vertices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(BlendVertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 1, GL_FLOAT, GL_FALSE, sizeof(BlendVertex),
                          reinterpret_cast<const void*>(offsetof(BlendVertex, alpha)));
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(target.x, target.y, target.width, target.height);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram(program);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(bands.count));
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &array);
    glDeleteProgram(program);
}

TEST(BlendCurve, DefaultsDrawTheLinearOverlayBitForBit) {
    ASSERT_TRUE(useGlContext());
    // A picture with every red and green level under bands that cross.
    FakeMedia media;
    FakeMedia::Picture gradient{256, 256, std::vector<std::uint8_t>(256 * 256 * 4)};
    for (std::size_t i = 0; i < 256 * 256; ++i) {
        gradient.rgba[i * 4] = static_cast<std::uint8_t>(i % 256);
        gradient.rgba[i * 4 + 1] = static_cast<std::uint8_t>(i / 256);
        gradient.rgba[i * 4 + 2] = static_cast<std::uint8_t>(255 - i % 256);
        gradient.rgba[i * 4 + 3] = 255;
    }
    media.images["/gradient.png"] = gradient;
    Surface s;
    s.corners = fullCanvas();
    s.mediaKind = MediaKind::image;
    s.mediaPath = "/gradient.png";
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{s});

    OutputConfig blended = output(0.3f, 0.25f, 0.2f, 0.35f);
    blended.cropX = 0.1f;
    blended.cropY = 0.05f;
    blended.cropWidth = 0.8f;
    blended.cropHeight = 0.9f;
    OutputConfig unblended = blended;
    unblended.blendLeft = unblended.blendRight = unblended.blendTop = unblended.blendBottom = 0;

    constexpr int width = 240, height = 180;
    auto withCurve = Renderer::create(model, blended, media.backend());
    auto without = Renderer::create(model, unblended, media.backend());
    auto ours = OffscreenFramebuffer::create(width, height);
    auto reference = OffscreenFramebuffer::create(width, height);
    ASSERT_TRUE(withCurve && without && ours && reference);
    withCurve->draw(ours->target(), 0.0);
    without->draw(reference->target(), 0.0);
    const std::vector<std::uint8_t> plain = reference->readPixels();
    drawLinearOverlay(blended, reference->target());
    const std::vector<std::uint8_t> expected = reference->readPixels();
    const std::vector<std::uint8_t> drawn = ours->readPixels();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    ASSERT_EQ(drawn.size(), expected.size());
    std::size_t differing = 0, darkened = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        differing += drawn[i] != expected[i];
        darkened += expected[i] != plain[i];
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(darkened, drawn.size() / 4); // the bands cover much of the picture
}

// --- two projectors overlapping

// Light of one output pixel on a projector of the given gamma.
double light(int value, double projectorGamma) {
    return std::pow(value / 255.0, projectorGamma);
}

// Two outputs of a canvas 1000 pixels wide: A shows 0..0.6 with a ramp on its
// right third, B shows 0.4..1 with a ramp on its left third, so both ramps lie
// on canvas 0.4..0.6 and each output pixel lands on one canvas column. Gives
// the light of each canvas column, both projectors added, and how much that
// light may be off when each pixel is within one 8-bit step of its exact value.
struct Overlap {
    std::vector<double> light;
    std::vector<double> oneStep;
};

Overlap overlapLight(const RGBA& colour, float curve, float blendGamma, double projectorGamma) {
    ProjectModel model;
    model.setSurfaces(std::vector<Surface>{colourSurface(fullCanvas(), colour)});
    OutputConfig a = output(0, 1.0f / 3.0f, 0, 0, curve, blendGamma);
    a.cropWidth = 0.6f;
    OutputConfig b = output(1.0f / 3.0f, 0, 0, 0, curve, blendGamma);
    b.cropX = 0.4f;
    b.cropWidth = 0.6f;
    const Picture left = renderFrame(model, a, 600, 1);
    const Picture right = renderFrame(model, b, 600, 1);
    if (left.width != 600 || right.width != 600) {
        return {};
    }
    Overlap overlap{std::vector<double>(1000, 0.0), std::vector<double>(1000, 0.0)};
    const auto add = [&overlap, projectorGamma](std::size_t column, int value) {
        overlap.light[column] += light(value, projectorGamma);
        overlap.oneStep[column] += light(value + 1, projectorGamma) - light(value, projectorGamma);
    };
    for (int x = 0; x < 600; ++x) {
        add(static_cast<std::size_t>(x), left.at(x, 0)[1]);
        add(static_cast<std::size_t>(x + 400), right.at(x, 0)[1]);
    }
    return overlap;
}

TEST(BlendCurve, GammaMatchedRampsOfTwoOutputsAddUpToFlatLight) {
    for (double projectorGamma : {1.8, 2.2, 2.6}) {
        const auto gamma = static_cast<float>(projectorGamma);
        SCOPED_TRACE(testing::Message() << "projector gamma " << projectorGamma);
        // Full white: flat within 1 %.
        const Overlap white = overlapLight({1, 1, 1, 1}, 1.0f, gamma, projectorGamma);
        ASSERT_EQ(white.light.size(), 1000u);
        for (std::size_t x = 0; x < white.light.size(); ++x) {
            EXPECT_NEAR(white.light[x] / white.light[100], 1.0, 0.01) << "canvas column " << x;
        }
        // Mid-grey: flat but for the rounding of 8-bit output values, which
        // costs more than 1 % of a dim picture.
        const Overlap grey = overlapLight({0.5f, 0.5f, 0.5f, 1}, 1.0f, gamma, projectorGamma);
        ASSERT_EQ(grey.light.size(), 1000u);
        const double single = grey.light[100];
        for (std::size_t x = 0; x < grey.light.size(); ++x) {
            EXPECT_NEAR(grey.light[x], single, grey.oneStep[x] + grey.oneStep[100])
                << "canvas column " << x;
        }
    }
}

TEST(BlendCurve, LinearRampsOnAGammaProjectorDipInTheOverlap) {
    // What the gamma is for: without it the middle of the overlap gets
    // 2 * 0.5^2.2 = 44% of the light of the rest.
    const std::vector<double> columns = overlapLight({1, 1, 1, 1}, 1.0f, 1.0f, 2.2).light;
    ASSERT_EQ(columns.size(), 1000u);
    EXPECT_NEAR(columns[100], 1.0, 0.01);
    EXPECT_NEAR(columns[500], 2 * std::pow(0.5, 2.2), 0.02);
}

// --- black-level lift

TEST(BlackLevel, LiftIsAddedOnlyWhereNoRampIs) {
    ProjectModel model; // no surfaces: the projector's black
    OutputConfig o = output(0.25f, 0, 0.25f, 0.5f);
    o.blackLevel = {0.1f, 0.05f, 0.2f};
    constexpr int size = 40;
    const Picture p = renderFrame(model, o, size, size);
    ASSERT_EQ(p.width, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool inRamp = x < 10 || y < 10 || y >= 20;
            const auto px = p.at(x, y);
            if (inRamp) {
                ASSERT_EQ(px, (std::array<int, 4>{0, 0, 0, 255})) << x << "," << y;
            } else {
                ASSERT_NEAR(px[0], 25.5, 1.0) << x << "," << y;
                ASSERT_NEAR(px[1], 12.75, 1.0) << x << "," << y;
                ASSERT_NEAR(px[2], 51.0, 1.0) << x << "," << y;
            }
        }
    }
}

TEST(BlackLevel, LiftAddsToThePictureIsClampedAndNeedsNoRamp) {
    ProjectModel model;
    modelOf(model, {colourSurface(fullCanvas(), {0.5f, 0.5f, 0.95f, 1})});
    OutputConfig o; // no ramps: the whole output lies outside them
    o.blackLevel = {0.1f, 0.7f, std::numeric_limits<float>::quiet_NaN()};
    const Picture p = renderFrame(model, o, 8, 8);
    ASSERT_EQ(p.width, 8);
    // Red 0.5 + 0.1; green 0.5 + 0.2 (its range's end); blue unlifted.
    EXPECT_NEAR(p.at(0, 0)[0], 0.6 * 255, 1.0);
    EXPECT_NEAR(p.at(7, 7)[1], 0.7 * 255, 1.0);
    EXPECT_NEAR(p.at(4, 4)[2], 0.95 * 255, 1.0);

    // Ramps that meet leave nowhere to lift.
    o.blendLeft = 0.5f;
    o.blendRight = 0.5f;
    const Picture met = renderFrame(model, o, 8, 8);
    EXPECT_NEAR(met.at(3, 4)[0], 0.5 * (3.5 / 4) * 255, 1.0);
}

// --- blend test

TEST(BlendTest, ShowsGreyAndBlackStripesOfTheCanvasThroughTheRamps) {
    ProjectModel model;
    modelOf(model, {colourSurface(fullCanvas(), {1, 0, 0, 1})});
    OutputConfig o = output(0.25f, 0, 0, 0);
    o.cropX = 0.5f;
    o.cropWidth = 0.5f;
    model.setOutputs({o});
    model.setBlendTest(o.id, true);

    constexpr int size = 64;
    const Picture p = renderFrame(model, o, size, size);
    ASSERT_EQ(p.width, size);
    // Stripes of the canvas point x + y, half a unit wide, grey first.
    const auto field = [](double cx, double cy) {
        return static_cast<long>(std::floor(2 * (cx + cy) + 0.5)) % 2 == 0 ? 127.5 : 0.0;
    };
    int grey = 0, black = 0;
    for (int y = 1; y < size; y += 3) {
        for (int x = 1; x < size; x += 3) {
            const double cx = 0.5 + 0.5 * centreX(x, size), cy = centreY(y, size);
            const double s = 2 * (cx + cy) + 0.5;
            if (std::fabs(s - std::round(s)) < 0.05) {
                continue; // too close to a stripe's edge to say
            }
            const double ramp = std::min(centreX(x, size) / 0.25, 1.0);
            const auto px = p.at(x, y);
            EXPECT_NEAR(px[0], field(cx, cy) * ramp, 1.0) << x << "," << y;
            EXPECT_EQ(px[0], px[1]) << "no red of the canvas at " << x << "," << y;
            EXPECT_EQ(px[1], px[2]);
            (field(cx, cy) > 0 ? grey : black) += 1;
        }
    }
    EXPECT_GT(grey, 50);
    EXPECT_GT(black, 50);

    // Other outputs and the editor keep showing the canvas; off again, so does this one.
    OutputConfig other = o;
    other.id = Uuid::random();
    EXPECT_EQ(renderFrame(model, other, 8, 8).at(6, 4)[0], 255);
    EXPECT_EQ(renderFrame(model, std::nullopt, 8, 8).at(4, 4)[0], 255);
    model.setBlendTest(o.id, false);
    EXPECT_EQ(renderFrame(model, o, 8, 8).at(6, 4)[0], 255);
}

} // namespace
} // namespace prismeta::test
