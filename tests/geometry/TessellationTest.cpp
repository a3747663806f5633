#include "geometry/Tessellation.h"

#include "core/Surface.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

namespace prismeta {
namespace {

struct Expected {
    Pt pos;
    std::array<float, 3> uvq;
};

void expectVertex(const SurfaceVertex& v, const Expected& e, float tolerance = 0.0f) {
    EXPECT_NEAR(v.pos[0], e.pos.x, tolerance);
    EXPECT_NEAR(v.pos[1], e.pos.y, tolerance);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(v.uvq[i], e.uvq[static_cast<std::size_t>(i)], tolerance) << "uvq " << i;
    }
}

// The texture point a vertex shows once the fragment stage divides by q.
std::array<float, 2> texturePoint(const SurfaceVertex& v) {
    return {v.uvq[0] / v.uvq[2], v.uvq[1] / v.uvq[2]};
}

Surface surfaceWithCorners(std::vector<Pt> corners) {
    Surface s;
    s.corners = std::move(corners);
    return s;
}

TEST(Tessellation, SquareIsTwoTrianglesSharingTheDiagonalZeroTwo) {
    std::vector<SurfaceVertex> out;
    ASSERT_EQ(
        tessellateSurface(
            surfaceWithCorners({{0.25f, 0.25f}, {0.75f, 0.25f}, {0.75f, 0.75f}, {0.25f, 0.75f}}),
            PixelScale{}, out),
        6u);
    ASSERT_EQ(out.size(), 6u);
    const Expected c0{{0.25f, 0.25f}, {0, 0, 2}};
    const Expected c2{{0.75f, 0.75f}, {2, 2, 2}};
    expectVertex(out[0], c0);
    expectVertex(out[1], {{0.75f, 0.25f}, {2, 0, 2}});
    expectVertex(out[2], c2);
    expectVertex(out[3], c0);
    expectVertex(out[4], c2);
    expectVertex(out[5], {{0.25f, 0.75f}, {0, 2, 2}});
}

TEST(Tessellation, TrapezoidCarriesItsProjectiveWeights) {
    std::vector<SurfaceVertex> out;
    tessellateSurface(surfaceWithCorners({{0, 0}, {4, 0}, {3, 2}, {1, 2}}), PixelScale{}, out);
    ASSERT_EQ(out.size(), 6u);
    expectVertex(out[0], {{0, 0}, {0, 0, 3}}, 1e-5f);
    expectVertex(out[1], {{4, 0}, {3, 0, 3}}, 1e-5f);
    expectVertex(out[2], {{3, 2}, {1.5f, 1.5f, 1.5f}}, 1e-5f);
    expectVertex(out[5], {{1, 2}, {0, 1.5f, 1.5f}}, 1e-5f);
}

TEST(Tessellation, ExtraCornersAreIgnoredAndMappedLinearly) {
    std::vector<SurfaceVertex> out;
    tessellateSurface(surfaceWithCorners({{0, 0}, {4, 0}, {3, 2}, {1, 2}, {9, 9}}), PixelScale{},
                      out);
    ASSERT_EQ(out.size(), 6u);
    // Weights fall back to ones for a count other than four: plain texture points.
    expectVertex(out[1], {{4, 0}, {1, 0, 1}});
    expectVertex(out[2], {{3, 2}, {1, 1, 1}});
    expectVertex(out[5], {{1, 2}, {0, 1, 1}});
}

TEST(Tessellation, MeshCellsInRowMajorOrderWithTheirOwnTexturePoints) {
    Surface s = surfaceWithCorners({{0.1f, 0.1f}, {0.9f, 0.2f}, {0.8f, 0.9f}, {0.2f, 0.8f}});
    s.mesh = WarpMesh::from(s.corners, 4, 3);
    ASSERT_TRUE(s.mesh);
    s.corners.clear(); // a meshed surface's shape comes from its points alone

    std::vector<SurfaceVertex> out;
    ASSERT_EQ(tessellateSurface(s, PixelScale{}, out), 72u);
    ASSERT_EQ(out.size(), 72u);

    const auto& pts = s.mesh->points;
    // First cell: grid points 0, 1, 6, 5; texture (0,0) (1/4,0) (1/4,1/3) (0,1/3).
    EXPECT_EQ(out[0].pos[0], pts[0].x);
    EXPECT_EQ(out[1].pos[0], pts[1].x);
    EXPECT_EQ(out[2].pos[1], pts[6].y);
    EXPECT_EQ(out[5].pos[1], pts[5].y);
    // Cell (column 1, row 2) is cell 9: points 11, 12, 17, 16.
    const SurfaceVertex* cell = &out[9 * 6];
    const std::array<std::size_t, 6> index = {11, 12, 17, 11, 17, 16};
    const std::array<std::array<float, 2>, 6> tex = {
        {{0.25f, 2.0f / 3}, {0.5f, 2.0f / 3}, {0.5f, 1}, {0.25f, 2.0f / 3}, {0.5f, 1}, {0.25f, 1}}};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(cell[k].pos[0], pts[index[k]].x) << k;
        EXPECT_EQ(cell[k].pos[1], pts[index[k]].y) << k;
        EXPECT_NEAR(texturePoint(cell[k])[0], tex[k][0], 1e-6f) << k;
        EXPECT_NEAR(texturePoint(cell[k])[1], tex[k][1], 1e-6f) << k;
    }
}

TEST(Tessellation, BrokenSurfacesAreSkippedWithoutReadingOutOfBounds) {
    std::vector<Surface> broken;
    broken.push_back(surfaceWithCorners({{0, 0}, {1, 0}, {1, 1}})); // three corners
    broken.push_back(surfaceWithCorners({}));
    const auto meshed = [](std::int64_t cols, std::int64_t rows, std::size_t points) {
        Surface s;
        s.mesh = WarpMesh{cols, rows, std::vector<Pt>(points)};
        return s;
    };
    broken.push_back(meshed(0, 3, 16));
    broken.push_back(meshed(3, 0, 16));
    broken.push_back(meshed(-2, -2, 16));
    broken.push_back(meshed(3, 3, 15)); // one point short
    const std::int64_t huge = std::int64_t{1} << 40;
    broken.push_back(meshed(huge, huge, 16)); // 6 * cols * rows would overflow
    broken.push_back(meshed(std::numeric_limits<std::int64_t>::max(), 1, 16));

    std::vector<SurfaceVertex> out(3);
    for (const Surface& s : broken) {
        EXPECT_EQ(tessellatedVertexCount(s, PixelScale{}), 0u);
        EXPECT_EQ(tessellateSurface(s, PixelScale{}, out), 0u);
        EXPECT_EQ(out.size(), 3u);
    }
}

TEST(Tessellation, AppendsIntoReusedStorageWithoutReallocating) {
    Surface plain;
    Surface meshed;
    meshed.mesh = WarpMesh::from(meshed.corners, 6, 6);
    std::vector<SurfaceVertex> out;
    out.reserve(tessellatedVertexCount(plain, PixelScale{}) +
                tessellatedVertexCount(meshed, PixelScale{}));
    const SurfaceVertex* storage = out.data();
    EXPECT_EQ(tessellateSurface(plain, PixelScale{}, out), 6u);
    EXPECT_EQ(tessellateSurface(meshed, PixelScale{}, out), 216u);
    EXPECT_EQ(out.size(), 222u);
    EXPECT_EQ(out.data(), storage);
    // The second surface's vertices follow the first's.
    EXPECT_EQ(out[6].pos[0], meshed.mesh->points[0].x);
}

} // namespace
} // namespace prismeta
