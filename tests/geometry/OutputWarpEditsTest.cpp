// Edits of an output's warp: a mesh laid over a keystone keeps its shape,
// and a corner drag on a meshed warp changes the keystone under the mesh.
#include "geometry/OutputWarpEdits.h"
#include "geometry/PictureMapping.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

OutputWarp keystone() {
    OutputWarp warp;
    warp.corners = {Pt{0.08f, 0.02f}, Pt{0.97f, 0.11f}, Pt{0.9f, 0.95f}, Pt{0.02f, 1.1f}};
    return warp;
}

// Where the picture point lands through the warp as it is drawn.
Pt drawn(const OutputWarp& warp, Pt picture) {
    const std::optional<Pt> p =
        pictureToCanvas(warp.corners, warp.mesh ? &*warp.mesh : nullptr, picture);
    EXPECT_TRUE(p);
    return p.value_or(Pt{});
}

void expectSamePicture(const OutputWarp& a, const OutputWarp& b) {
    for (float u : {0.0f, 0.13f, 0.5f, 0.77f, 1.0f}) {
        for (float v : {0.0f, 0.31f, 0.62f, 1.0f}) {
            const Pt pa = drawn(a, {u, v});
            const Pt pb = drawn(b, {u, v});
            EXPECT_NEAR(pa.x, pb.x, 2e-6f) << u << "," << v;
            EXPECT_NEAR(pa.y, pb.y, 2e-6f) << u << "," << v;
        }
    }
}

TEST(OutputWarpEdits, AMeshLaidOverAWarpKeepsItsShapeAndCorners) {
    const OutputWarp plain = keystone();
    const std::optional<OutputWarp> meshed = warpWithMesh(plain, 4, 3);
    ASSERT_TRUE(meshed && meshed->mesh);
    EXPECT_EQ(meshed->mesh->points.size(), 20u);
    expectSamePicture(plain, *meshed);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(meshed->corners[k].x, plain.corners[k].x, 1e-6f);
        EXPECT_NEAR(meshed->corners[k].y, plain.corners[k].y, 1e-6f);
    }
    // Again over a bent mesh: a finer grid shows the same picture at its points.
    const OutputWarp bent = warpWithMeshPoint(*meshed, 6, Pt{0.4f, 0.45f});
    const std::optional<OutputWarp> finer = warpWithMesh(bent, 8, 6);
    ASSERT_TRUE(finer);
    EXPECT_EQ(drawn(*finer, {0.25f, 1.0f / 3}), drawn(bent, {0.25f, 1.0f / 3}));
    EXPECT_FALSE(warpWithMesh(plain, 0, 3));
}

TEST(OutputWarpEdits, ACornerMovesTheWholeMeshInPerspectiveAndAMeshCornerItsCorner) {
    const OutputWarp meshed = *warpWithMesh(keystone(), 3, 2);
    const OutputWarp moved = warpWithCorner(meshed, 2, Pt{1.05f, 0.9f});
    // A mesh that was the keystone's own stays the new keystone's own.
    OutputWarp expected = keystone();
    expected.corners[2] = Pt{1.05f, 0.9f};
    expectSamePicture(moved, expected);
    EXPECT_EQ(moved.corners[2], (Pt{1.05f, 0.9f}));
    EXPECT_EQ(moved.mesh->points[meshCornerIndex(*moved.mesh, 2)], (Pt{1.05f, 0.9f}));

    // The grid's top-right point is corner 1's: they move together; an inner
    // point moves alone.
    const OutputWarp pulled = warpWithMeshPoint(moved, 3, Pt{0.99f, 0.0f});
    EXPECT_EQ(pulled.corners[1], (Pt{0.99f, 0.0f}));
    const OutputWarp inner = warpWithMeshPoint(moved, 5, Pt{0.5f, 0.5f});
    EXPECT_EQ(inner.corners, moved.corners);
    EXPECT_EQ(warpWithMeshPoint(moved, 12, Pt{}), moved);

    // From corners that are all one point there is no map: the mesh's corner
    // point alone follows.
    OutputWarp collapsed;
    collapsed.mesh = WarpMesh{1, 1, {Pt{}, Pt{}, Pt{}, Pt{}}};
    collapsed.corners = {Pt{}, Pt{}, Pt{}, Pt{}};
    const OutputWarp freed = warpWithCorner(collapsed, 1, Pt{1, 0});
    EXPECT_EQ(freed.mesh->points, (std::vector<Pt>{Pt{}, Pt{1, 0}, Pt{}, Pt{}}));
}

} // namespace
} // namespace prismeta
