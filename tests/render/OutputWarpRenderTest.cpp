// An output's warp and blend map on the projector's raster, against the
// maths: a crop's pattern lands where the corners' homography (and each mesh
// cell's) puts it, solved here on the test's own; the blend map's value v
// leaves v^(1/gamma) of the light; ramps, map, lift and masks are applied
// before the warp; outside the warp is black; shrinking and enlarging keep a
// fine grid's lines even.
#include "GlTestSupport.h"
#include "MediaFixtures.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace prismeta::test {
namespace {

// ---------------------------------------------------------------- maths

struct P {
    double x = 0.0;
    double y = 0.0;
};

// The plane projective map of the unit square onto four points (in order
// around it), from the eight linear equations of its corners.
struct Homography {
    std::array<double, 9> h{};

    static Homography unitSquareTo(const std::array<P, 4>& q) {
        const std::array<P, 4> square = {P{0, 0}, P{1, 0}, P{1, 1}, P{0, 1}};
        double a[8][9] = {};
        for (int i = 0; i < 4; ++i) {
            const double u = square[i].x, v = square[i].y, x = q[i].x, y = q[i].y;
            const double rowX[9] = {u, v, 1, 0, 0, 0, -u * x, -v * x, x};
            const double rowY[9] = {0, 0, 0, u, v, 1, -u * y, -v * y, y};
            std::copy(rowX, rowX + 9, a[2 * i]);
            std::copy(rowY, rowY + 9, a[2 * i + 1]);
        }
        for (int c = 0; c < 8; ++c) {
            int pivot = c;
            for (int r = c + 1; r < 8; ++r) {
                if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
                    pivot = r;
                }
            }
            std::swap(a[c], a[pivot]);
            for (int r = 0; r < 8; ++r) {
                if (r != c) {
                    const double f = a[r][c] / a[c][c];
                    for (int k = c; k < 9; ++k) {
                        a[r][k] -= f * a[c][k];
                    }
                }
            }
        }
        Homography m;
        for (int i = 0; i < 8; ++i) {
            m.h[static_cast<std::size_t>(i)] = a[i][8] / a[i][i];
        }
        m.h[8] = 1.0;
        return m;
    }

    P apply(double u, double v) const {
        const double w = h[6] * u + h[7] * v + h[8];
        return {(h[0] * u + h[1] * v + h[2]) / w, (h[3] * u + h[4] * v + h[5]) / w};
    }

    Homography inverse() const {
        const auto& a = h;
        Homography inv;
        inv.h = {a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
                 a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
                 a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
        return inv;
    }

    // Where, along raster row y (pixel centre y + 0.5), u reaches `u` (this
    // is the inverse map, raster to picture).
    double xWhereU(double u, int y) const {
        const double Y = y + 0.5;
        return (u * (h[7] * Y + h[8]) - (h[1] * Y + h[2])) / (h[0] - u * h[6]);
    }
    double yWhereV(double v, int x) const {
        const double X = x + 0.5;
        return (v * (h[6] * X + h[8]) - (h[3] * X + h[5])) / (h[4] - v * h[7]);
    }
};

// Where the red channel crosses halfway (127.5) between the pixel centres of
// a row (or column) near `around`, interpolated linearly.
std::optional<double> crossing(const Picture& p, bool alongRow, int line, double around) {
    const int from = static_cast<int>(std::floor(around)) - 4;
    for (int i = from; i < from + 8; ++i) {
        const int a = alongRow ? p.at(i, line)[0] : p.at(line, i)[0];
        const int b = alongRow ? p.at(i + 1, line)[0] : p.at(line, i + 1)[0];
        if ((a - 127.5) * (b - 127.5) < 0) {
            return i + 0.5 + (127.5 - a) / static_cast<double>(b - a);
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- scenes

Picture drawOutput(const ProjectModel& model, const OutputConfig& output, int width, int height) {
    if (!useGlContext()) {
        return {};
    }
    auto renderer = Renderer::create(model, output);
    auto target = OffscreenFramebuffer::create(width, height);
    if (!renderer || !target) {
        ADD_FAILURE() << "no renderer or framebuffer";
        return {};
    }
    renderer->setWaitForMasks(true);
    renderer->draw(target->target(), 0.0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    return Picture{width, height, target->readPixels()};
}

std::array<P, 4> inPixels(const std::array<Pt, 4>& corners, int width, int height) {
    std::array<P, 4> q;
    for (std::size_t k = 0; k < 4; ++k) {
        q[k] = P{corners[k].x * static_cast<double>(width),
                 corners[k].y * static_cast<double>(height)};
    }
    return q;
}

// Every edge of the checker inside the picture point range [u0,u1] x [v0,v1]
// (where one homography maps it) against where that homography puts it.
void expectCheckerEdgesAt(const Picture& p, const Homography& map, int n, double u0, double u1,
                          double v0, double v1, double& worst) {
    const Homography back = map.inverse();
    const auto inside = [](double t, double a, double b) { return t > a + 1e-9 && t < b - 1e-9; };
    for (int i = 1; i < n; ++i) {
        const double edge = static_cast<double>(i) / n;
        for (int j = 0; j < n; ++j) {
            const double middle = (j + 0.5) / n;
            if (inside(edge, u0, u1) && inside(middle, v0, v1)) {
                // A vertical edge of the checker, met along a raster row.
                const P at = map.apply((edge - u0) / (u1 - u0), (middle - v0) / (v1 - v0));
                const int row = static_cast<int>(std::floor(at.y));
                const double expected = back.xWhereU((edge - u0) / (u1 - u0), row);
                const std::optional<double> seen = crossing(p, true, row, expected);
                ASSERT_TRUE(seen) << "no edge near " << expected << " in row " << row;
                worst = std::max(worst, std::fabs(*seen - expected));
            }
            if (inside(edge, v0, v1) && inside(middle, u0, u1)) {
                const P at = map.apply((middle - u0) / (u1 - u0), (edge - v0) / (v1 - v0));
                const int column = static_cast<int>(std::floor(at.x));
                const double expected = back.yWhereV((edge - v0) / (v1 - v0), column);
                const std::optional<double> seen = crossing(p, false, column, expected);
                ASSERT_TRUE(seen) << "no edge near " << expected << " in column " << column;
                worst = std::max(worst, std::fabs(*seen - expected));
            }
        }
    }
}

// ---------------------------------------------------------------- the warp

TEST(OutputWarpRender, TheCropLandsWhereTheCornersHomographyPutsItAt4KAndNothingElseIsLit) {
    constexpr int width = 3840, height = 2160, n = 8;
    ProjectModel model;
    model.setSurfaces(checkerSurfaces(n));
    OutputConfig output;
    output.warp = OutputWarp{};
    output.warp->corners = {Pt{0.061f, 0.032f}, Pt{0.953f, 0.004f}, Pt{0.991f, 0.968f},
                            Pt{0.017f, 0.905f}};
    const Picture p = drawOutput(model, output, width, height);
    ASSERT_EQ(p.width, width);

    const Homography map = Homography::unitSquareTo(inPixels(output.warp->corners, width, height));
    double worst = 0.0;
    expectCheckerEdgesAt(p, map, n, 0, 1, 0, 1, worst);
    EXPECT_LT(worst, 0.5);
    // Raster pixels the picture does not reach (by more than a pixel) are black.
    const Homography back = map.inverse();
    int outside = 0;
    for (int y = 0; y < height; y += 7) {
        for (int x = 0; x < width; x += 7) {
            const P uv = back.apply(x + 0.5, y + 0.5);
            const double margin = 2.0 / width;
            if (uv.x < -margin || uv.x > 1 + margin || uv.y < -margin || uv.y > 1 + margin) {
                ++outside;
                const auto px = p.at(x, y);
                ASSERT_EQ(px[0] + px[1] + px[2], 0) << x << "," << y;
            }
        }
    }
    EXPECT_GT(outside, 1000);
}

TEST(OutputWarpRender, EachMeshCellPutsItsPartOfTheCropWhereItsOwnHomographySays) {
    constexpr int width = 1280, height = 720, n = 8;
    ProjectModel model;
    model.setSurfaces(checkerSurfaces(n));
    OutputConfig output;
    output.warp = OutputWarp{};
    WarpMesh mesh = *WarpMesh::from(
        std::vector<Pt>(identityWarpCorners.begin(), identityWarpCorners.end()), 2, 2);
    mesh.points[0] = Pt{0.04f, 0.05f};
    mesh.points[4] = Pt{0.56f, 0.43f}; // the middle point, bent
    mesh.points[5] = Pt{0.97f, 0.52f};
    mesh.points[7] = Pt{0.47f, 0.96f};
    output.warp->mesh = mesh;
    const Picture p = drawOutput(model, output, width, height);
    ASSERT_EQ(p.width, width);

    double worst = 0.0;
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 2; ++col) {
            const std::size_t tl = static_cast<std::size_t>(row * 3 + col);
            const std::array<Pt, 4> cell = {mesh.points[tl], mesh.points[tl + 1],
                                            mesh.points[tl + 4], mesh.points[tl + 3]};
            expectCheckerEdgesAt(p, Homography::unitSquareTo(inPixels(cell, width, height)), n,
                                 col * 0.5, col * 0.5 + 0.5, row * 0.5, row * 0.5 + 0.5, worst);
        }
    }
    EXPECT_LT(worst, 0.5);
}

TEST(OutputWarpRender, RampsMapLiftAndMasksAreAppliedBeforeTheWarpAndFollowTheCanvas) {
    constexpr int width = 200, height = 100;
    const std::string dir = fixtures::makeTempDir("warp-order");
    const std::string map = dir + "/map.png";
    ASSERT_TRUE(fixtures::writeGreyPng(
        map, 50, 10, [](int x, int) { return static_cast<std::uint16_t>(65535 - x * 1000); }));
    ProjectModel model;
    model.setSurfaces({colourSurface(rect(0, 0, 0.7f, 1), {0.9f, 0.6f, 0.3f, 1}),
                       colourSurface(rect(0.7f, 0, 1, 1), {0.2f, 0.8f, 0.9f, 1})});
    OutputConfig plain;
    plain.blendLeft = 0.3f;
    plain.blendGamma = 2.2f;
    plain.blackLevel = BlackLevel{0.05f, 0.05f, 0.05f};
    plain.blendMap = map;
    Mask window;
    window.points = {MaskPoint{0.8f, 0.1f, {}, {}}, MaskPoint{0.95f, 0.1f, {}, {}},
                     MaskPoint{0.95f, 0.6f, {}, {}}, MaskPoint{0.8f, 0.6f, {}, {}}};
    window.invert = true;
    plain.masks = {window};
    OutputConfig mirrored = plain;
    mirrored.warp = OutputWarp{};
    mirrored.warp->corners = {Pt{1, 0}, Pt{0, 0}, Pt{0, 1}, Pt{1, 1}};

    const Picture straight = drawOutput(model, plain, width, height);
    const Picture flipped = drawOutput(model, mirrored, width, height);
    ASSERT_EQ(flipped.width, width);
    // Something of every stage is in the frame: ramp, map, lift, mask.
    EXPECT_LT(straight.at(2, 50)[0], 60);
    EXPECT_EQ(straight.at(175, 20)[0], 0);
    int differing = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (std::abs(flipped.at(width - 1 - x, y)[c] - straight.at(x, y)[c]) > 1) {
                    ++differing;
                }
            }
        }
    }
    EXPECT_EQ(differing, 0);
    std::filesystem::remove_all(dir);
}

// The summed light across one line of a grid, row by row, stays even when
// the warp shrinks or enlarges the picture 1.5 times and turns it: no line
// thins out or vanishes between rows.
TEST(OutputWarpRender, AFineGridStaysEvenWhenShrunkOrEnlargedOneAndAHalfTimes) {
    constexpr int size = 512, spacing = 16;
    ProjectModel model;
    std::vector<Surface> lines;
    for (int k = 1; k < size / spacing - 1; ++k) {
        const float x0 = static_cast<float>(k * spacing + 8) / size;
        lines.push_back(colourSurface(rect(x0, 0, x0 + 1.0f / size, 1), {1, 1, 1, 1}));
    }
    model.setSurfaces(std::move(lines));
    for (const double scale : {1.0 / 1.5, 1.5}) {
        SCOPED_TRACE(scale);
        const double angle = 5.0 * M_PI / 180.0, half = 0.5 * scale;
        OutputConfig output;
        output.warp = OutputWarp{};
        const std::array<P, 4> unit = {P{-1, -1}, P{1, -1}, P{1, 1}, P{-1, 1}};
        for (std::size_t k = 0; k < 4; ++k) {
            const double x = unit[k].x * half, y = unit[k].y * half;
            output.warp->corners[k] =
                Pt{static_cast<float>(0.5 + x * std::cos(angle) - y * std::sin(angle)),
                   static_cast<float>(0.5 + x * std::sin(angle) + y * std::cos(angle))};
        }
        const Picture p = drawOutput(model, output, size, size);
        ASSERT_EQ(p.width, size);
        const Homography back =
            Homography::unitSquareTo(inPixels(output.warp->corners, size, size)).inverse();
        std::vector<double> sums;
        for (int k = 1; k < size / spacing - 1; ++k) {
            const double u = (k * spacing + 8.5) / size;
            for (int y = 0; y < size; ++y) {
                const double x = back.xWhereU(u, y);
                const P uv = back.apply(x, y + 0.5);
                if (uv.y < 0.1 || uv.y > 0.9 || x < 8 || x > size - 9) {
                    continue;
                }
                double sum = 0;
                const int around = static_cast<int>(std::floor(x));
                for (int i = around - 4; i <= around + 4; ++i) {
                    sum += p.at(i, y)[0];
                }
                sums.push_back(sum / 255.0);
            }
        }
        ASSERT_GT(sums.size(), 100u);
        double mean = 0;
        for (double s : sums) {
            mean += s;
        }
        mean /= static_cast<double>(sums.size());
        // A line one texel wide is `scale` pixels wide on the raster.
        EXPECT_NEAR(mean, scale, 0.1 * scale);
        for (double s : sums) {
            ASSERT_NEAR(s, mean, 0.2 * mean);
        }
    }
}

// ---------------------------------------------------------------- blend maps

TEST(OutputWarpRender, ABlendMapLeavesItsValueToTheOneOverGammaOfTheLight) {
    constexpr int width = 256;
    const std::string dir = fixtures::makeTempDir("blend-map");
    ProjectModel model;
    model.setSurfaces({colourSurface(fullCanvas(), {1, 1, 1, 1})});
    for (const bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit" : "16-bit");
        const std::string map = dir + (eightBit ? "/map8.png" : "/map16.png");
        // Texel x holds x / 255 of the light (x * 257 at 16 bits).
        ASSERT_TRUE(fixtures::writeGreyPng(
            map, width, 2, [](int x, int) { return static_cast<std::uint16_t>(x * 257); },
            eightBit));
        OutputConfig output;
        output.blendMap = map;
        output.blendGamma = 2.2f;
        const Picture p = drawOutput(model, output, width, 4);
        ASSERT_EQ(p.width, width);
        for (int x : {0, 1, 10, 64, 128, 200, 254, 255}) {
            EXPECT_NEAR(p.at(x, 1)[1], 255.0 * std::pow(x / 255.0, 1.0 / 2.2), 1.0) << x;
        }
    }

    // The same renderer follows a change of gamma (the map is shaped anew).
    {
        OutputConfig output;
        output.blendMap = dir + "/map16.png";
        output.blendGamma = 2.2f;
        auto renderer = Renderer::create(model, output);
        auto target = OffscreenFramebuffer::create(width, 4);
        ASSERT_TRUE(renderer && target);
        renderer->setWaitForMasks(true);
        renderer->draw(target->target(), 0.0);
        output.blendGamma = 1.0f;
        renderer->setOutputConfig(output);
        renderer->draw(target->target(), 0.0);
        const Picture p{width, 4, target->readPixels()};
        EXPECT_NEAR(p.at(64, 1)[1], 64, 1.0);
    }

    // A map that cannot be read leaves the full light, with one line.
    std::vector<std::string> lines;
    ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
    const std::string broken = dir + "/broken.png";
    {
        std::FILE* f = std::fopen(broken.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("not a picture", f);
        std::fclose(f);
    }
    for (const std::string& path : {broken, dir + "/missing.png"}) {
        lines.clear();
        OutputConfig output;
        output.blendMap = path;
        const Picture p = drawOutput(model, output, 16, 4);
        EXPECT_EQ(p.at(8, 2)[0], 255) << path;
        ASSERT_EQ(lines.size(), 1u) << path;
        EXPECT_NE(lines[0].find("blend map cannot be read: " + path), std::string::npos);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace prismeta::test
