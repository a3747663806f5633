#include "geometry/PictureMapping.h"

#include "core/Surface.h"

#include <gtest/gtest.h>

namespace prismeta {
namespace {

void expectNear(std::optional<Pt> got, Pt want, float tolerance = 1e-5f) {
    ASSERT_TRUE(got.has_value());
    EXPECT_NEAR(got->x, want.x, tolerance);
    EXPECT_NEAR(got->y, want.y, tolerance);
}

TEST(PictureMapping, PerspectiveQuadMapsCornersCentreAndBack) {
    Surface s;
    s.corners = {Pt{0.1f, 0.2f}, Pt{0.9f, 0.1f}, Pt{0.7f, 0.9f}, Pt{0.2f, 0.6f}};
    expectNear(pictureToCanvas(s, Pt{0, 0}), s.corners[0]);
    expectNear(pictureToCanvas(s, Pt{1, 0}), s.corners[1]);
    expectNear(pictureToCanvas(s, Pt{1, 1}), s.corners[2]);
    expectNear(pictureToCanvas(s, Pt{0, 1}), s.corners[3]);
    // A perspective map takes the square's centre to where the diagonals cross:
    // 0-2 is (0.1,0.2)+a(0.6,0.7), 1-3 is (0.9,0.1)+b(-0.7,0.5); a = 0.66 / 1.58.
    const float a = 0.66f / 1.58f;
    expectNear(pictureToCanvas(s, Pt{0.5f, 0.5f}), Pt{0.1f + 0.6f * a, 0.2f + 0.7f * a});
    for (const Pt p : {Pt{0.25f, 0.75f}, Pt{0.9f, 0.1f}, Pt{-0.2f, 1.3f}}) {
        expectNear(canvasToPicture(s, *pictureToCanvas(s, p)), p, 1e-4f);
    }
}

TEST(PictureMapping, MeshCellsMapTheirOwnPartOfThePicture) {
    Surface s;
    s.corners = {Pt{0, 0}, Pt{1, 0}, Pt{1, 1}, Pt{0, 1}};
    s.mesh = WarpMesh::from(s.corners, 2, 1);
    // The middle column of points pulled right: the left half of the picture
    // stretches over 0..0.75 of the canvas, the right half over 0.75..1.
    s.mesh->points[1] = Pt{0.75f, 0.0f};
    s.mesh->points[4] = Pt{0.75f, 1.0f};
    expectNear(pictureToCanvas(s, Pt{0.25f, 0.5f}), Pt{0.375f, 0.5f});
    expectNear(pictureToCanvas(s, Pt{0.75f, 0.5f}), Pt{0.875f, 0.5f});
    expectNear(canvasToPicture(s, Pt{0.875f, 0.25f}), Pt{0.75f, 0.25f});
    // Past the edge, the edge cell's map goes on.
    expectNear(canvasToPicture(s, Pt{1.125f, 0.5f}), Pt{1.25f, 0.5f});
}

TEST(PictureMapping, UndrawableSurfacesHaveNoMap) {
    Surface s;
    s.corners = {Pt{0, 0}, Pt{1, 0}, Pt{1, 1}};
    EXPECT_FALSE(pictureToCanvas(s, Pt{0.5f, 0.5f}));
    s.corners = {Pt{0, 0}, Pt{0, 0}, Pt{0, 0}, Pt{0, 0}};
    EXPECT_FALSE(canvasToPicture(s, Pt{0.5f, 0.5f}));
    s.corners = {Pt{0, 0}, Pt{1, 0}, Pt{1, 1}, Pt{0, 1}};
    s.mesh = WarpMesh{3, 3, {}};
    EXPECT_FALSE(canvasToPicture(s, Pt{0.5f, 0.5f}));
}

} // namespace
} // namespace prismeta
