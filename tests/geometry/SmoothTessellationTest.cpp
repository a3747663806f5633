// A smooth mesh's triangles: every vertex on the map, no side longer than
// the cut size where it is drawn, and every drawn point within half a pixel
// of the map.
#include "geometry/SmoothTessellation.h"

#include "core/Surface.h"
#include "geometry/PictureMapping.h"
#include "geometry/SmoothMesh.h"
#include "geometry/SmoothVertexCache.h"
#include "geometry/Tessellation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace prismeta {
namespace {

WarpMesh smoothGrid(std::array<Pt, 4> corners, std::int64_t cols, std::int64_t rows) {
    WarpMesh mesh = *WarpMesh::from(corners, cols, rows);
    mesh.interpolation = WarpMesh::Interpolation::smooth;
    return mesh;
}

Pt& pointAt(WarpMesh& mesh, std::int64_t col, std::int64_t row) {
    return mesh.points[static_cast<std::size_t>(row * (mesh.cols + 1) + col)];
}

struct Case {
    const char* name;
    WarpMesh mesh;
    PixelScale scale;
};

std::vector<Case> cases() {
    // An output's 4 x 3 mesh with an interior point dragged by (34, 48) px.
    WarpMesh dragged = smoothGrid({Pt{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 4, 3);
    pointAt(dragged, 2, 1).x += 34.0f / 1920.0f;
    pointAt(dragged, 2, 1).y += 48.0f / 1080.0f;
    // A strong keystone with a bend, and a small surface on the canvas.
    WarpMesh keystone =
        smoothGrid({Pt{0.1f, 0.05f}, {0.95f, 0.2f}, {0.8f, 0.8f}, {0.2f, 0.95f}}, 7, 5);
    pointAt(keystone, 3, 2).y -= 0.06f;
    pointAt(keystone, 6, 4).x += 0.04f;
    WarpMesh small =
        smoothGrid({Pt{0.3f, 0.3f}, {0.5f, 0.32f}, {0.52f, 0.5f}, {0.28f, 0.48f}}, 2, 2);
    pointAt(small, 1, 1) = Pt{0.43f, 0.37f};
    return {{"dragged 4x3 output", dragged, {1920, 1080}},
            {"bent keystone 7x5", keystone, {1920, 1080}},
            {"small surface", small, {1280, 720}}};
}

double pixels(Pt a, Pt b, PixelScale s) {
    return std::hypot((a.x - b.x) * s.x, (a.y - b.y) * s.y);
}

TEST(SmoothTessellation, VerticesOnTheMapSidesAtMostTheCutAndHalfAPixelEverywhere) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::optional<SmoothMeshMap> map = SmoothMeshMap::from(c.mesh);
        ASSERT_TRUE(map);
        std::vector<SurfaceVertex> out;
        const std::size_t count = tessellateQuads({}, &c.mesh, c.scale, out);
        ASSERT_GT(count, 6u * 4 * 3);
        ASSERT_EQ(count, out.size());
        EXPECT_EQ(count, tessellatedVertexCount({}, &c.mesh, c.scale));

        const auto pos = [](const SurfaceVertex& v) { return Pt{v.pos[0], v.pos[1]}; };
        double longestSide = 0.0;
        double longestDiagonal = 0.0;
        double worst = 0.0;
        for (std::size_t at = 0; at < out.size(); at += 6) {
            const SurfaceVertex* v = &out[at];
            for (int k = 0; k < 6; ++k) {
                ASSERT_EQ(v[k].uvq[2], 1.0f);
                const Pt onMap = *map->map(v[k].uvq[0], v[k].uvq[1]);
                ASSERT_LT(pixels(onMap, pos(v[k]), c.scale), 1e-3);
            }
            for (int t = 0; t < 6; t += 3) {
                for (int k = 0; k < 3; ++k) {
                    const SurfaceVertex& a = v[t + k];
                    const SurfaceVertex& b = v[t + (k + 1) % 3];
                    const bool side = a.uvq[0] == b.uvq[0] || a.uvq[1] == b.uvq[1];
                    double& longest = side ? longestSide : longestDiagonal;
                    longest = std::max(longest, pixels(pos(a), pos(b), c.scale));
                }
            }
            // Points inside both triangles, drawn where the GPU interpolates
            // them, against where the map puts their picture point.
            for (const SurfaceVertex* t : {v, v + 3}) {
                for (const std::array<double, 3> w : {std::array<double, 3>{1 / 3., 1 / 3., 1 / 3.},
                                                      {0.5, 0.5, 0},
                                                      {0, 0.5, 0.5},
                                                      {0.5, 0, 0.5}}) {
                    double x = 0, y = 0, u = 0, s = 0;
                    for (int k = 0; k < 3; ++k) {
                        x += w[k] * t[k].pos[0];
                        y += w[k] * t[k].pos[1];
                        u += w[k] * t[k].uvq[0];
                        s += w[k] * t[k].uvq[1];
                    }
                    const Pt exact = *map->map(u, s);
                    worst = std::max(worst, pixels(exact, Pt{float(x), float(y)}, c.scale));
                }
            }
        }
        EXPECT_LE(longestSide, smoothCutPixels * 1.05);
        EXPECT_LE(longestDiagonal, smoothCutPixels * 1.05 * std::sqrt(2.0));
        EXPECT_LT(worst, 0.5);
        // Not cut needlessly fine: sides come near the cut size.
        EXPECT_GT(longestSide, smoothCutPixels * 0.6);
        std::printf("%s: %zu vertices, longest side %.2f px, diagonal %.2f px, worst %.4f px\n",
                    c.name, count, longestSide, longestDiagonal, worst);
    }
}

TEST(SmoothTessellation, CutsStayWithinTheBudgetAndABrokenMapDrawsCells) {
    const WarpMesh mesh = cases()[0].mesh;
    std::vector<SurfaceVertex> out;
    const std::size_t huge = tessellateQuads({}, &mesh, PixelScale{1e7, 1e7}, out);
    EXPECT_LE(huge, maxSmoothVertices);
    EXPECT_GT(huge, maxSmoothVertices / 4);

    // Outer corners on a line: no homography, so the cells are drawn.
    WarpMesh flat = mesh;
    for (Pt& p : flat.points) {
        p.y = 0.5f;
    }
    EXPECT_EQ(tessellatedVertexCount({}, &flat, PixelScale{1920, 1080}), 6u * 4 * 3);

    // A grid of more cells than the budget's vertices allow (a hostile file):
    // cells, without a map of its million points.
    WarpMesh hostile = smoothGrid({Pt{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 1000, 1000);
    EXPECT_FALSE(drawnSmooth(hostile));
    EXPECT_TRUE(drawnSmooth(mesh));
    EXPECT_EQ(tessellatedVertexCount({}, &hostile, PixelScale{1920, 1080}), 6u * 1000 * 1000);
}

TEST(SmoothTessellation, PictureMappingFollowsTheMapBothWays) {
    Surface surface;
    surface.mesh = cases()[1].mesh;
    const SmoothMeshMap map = *SmoothMeshMap::from(*surface.mesh);
    for (const Pt picture : {Pt{0.5f, 0.5f}, Pt{0.13f, 0.91f}, Pt{0.99f, 0.02f}, Pt{0.43f, 0.4f}}) {
        const Pt canvas = *pictureToCanvas(surface, picture);
        const Pt expected = *map.map(picture.x, picture.y);
        EXPECT_EQ(canvas.x, expected.x);
        EXPECT_EQ(canvas.y, expected.y);
        const Pt back = *canvasToPicture(surface, canvas);
        EXPECT_NEAR(back.x, picture.x, 1e-5);
        EXPECT_NEAR(back.y, picture.y, 1e-5);
    }
}

TEST(SmoothVertexCache, CutOncePerMeshAndScaleAndForgottenWhenNotDrawn) {
    Surface surface;
    surface.mesh = cases()[0].mesh;
    SmoothVertexCache cache;
    const PixelScale scale{1920, 1080};
    const std::span<const SurfaceVertex> first = cache.vertices(surface, scale, 1);
    EXPECT_EQ(first.size(), tessellatedVertexCount(surface, scale));
    EXPECT_EQ(cache.vertices(surface, scale, 2).data(), first.data());

    surface.mesh->points[6].x += 0.01f;
    std::vector<SurfaceVertex> expected;
    tessellateSurface(surface, scale, expected);
    const std::span<const SurfaceVertex> edited = cache.vertices(surface, scale, 3);
    ASSERT_EQ(edited.size(), expected.size());
    EXPECT_EQ(edited[7].pos[0], expected[7].pos[0]);
    EXPECT_LT(cache.vertices(surface, PixelScale{960, 540}, 3).size(), expected.size());

    cache.prune(3);
    EXPECT_EQ(cache.size(), 1u);
    cache.prune(4);
    EXPECT_EQ(cache.size(), 0u);
}

} // namespace
} // namespace prismeta
