// Smooth meshes on the projector and on the canvas, against the maths: a
// smooth mesh whose points lie on a homography's grid draws exactly that
// keystone (solved here on the test's own), and a bent one draws a
// checker's straight edges where its map puts them, with no step where they
// cross a cell border (where a mesh of cells bends them).
#include "GlTestSupport.h"

#include "core/ProjectModel.h"
#include "geometry/SmoothMesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace prismeta::test {
namespace {

using RasterMap = std::function<std::optional<std::array<double, 2>>(double u, double v)>;

// Where the red channel crosses halfway between the pixel centres of a row
// (or column) near `around`.
std::optional<double> halfwayCrossing(const Picture& p, bool alongRow, int line, double around) {
    // The nearest crossing within 16 pixels either side.
    std::optional<double> nearest;
    const int from = static_cast<int>(std::floor(around)) - 16;
    const int last = std::min(alongRow ? p.width : p.height, from + 32) - 1;
    for (int i = std::max(0, from); i < last; ++i) {
        const int a = alongRow ? p.at(i, line)[0] : p.at(line, i)[0];
        const int b = alongRow ? p.at(i + 1, line)[0] : p.at(line, i + 1)[0];
        if ((a - 127.5) * (b - 127.5) < 0) {
            const double at = i + 0.5 + (127.5 - a) / static_cast<double>(b - a);
            if (!nearest || std::fabs(at - around) < std::fabs(*nearest - around)) {
                nearest = at;
            }
        }
    }
    return nearest;
}

// The picture's line u = edge (across: v = edge) meets raster row (column)
// `line` at the pixel centre's height: found by bisection on the other
// coordinate, then where along the row it lies, in pixels. Nothing near the
// checker's crossing lines (of n), where the row meets a corner of squares.
std::optional<double> edgeMeets(const RasterMap& map, bool across, double edge, int line, int width,
                                int height, int n) {
    const double target = line + 0.5;
    const auto at = [&](double s) -> std::optional<std::array<double, 2>> {
        const auto p = across ? map(s, edge) : map(edge, s);
        if (!p) {
            return std::nullopt;
        }
        return std::array<double, 2>{(*p)[0] * width, (*p)[1] * height};
    };
    double lo = 0.0, hi = 1.0;
    const auto coordinate = [&](double s) {
        const auto p = at(s);
        return p ? (across ? (*p)[0] : (*p)[1]) : std::nan("");
    };
    const double a = coordinate(lo), b = coordinate(hi);
    if (!((a - target) * (b - target) < 0)) {
        return std::nullopt;
    }
    const bool rising = b > a;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (lo + hi);
        ((coordinate(mid) < target) == rising ? lo : hi) = mid;
    }
    const double s = 0.5 * (lo + hi);
    if (std::fabs(s * n - std::round(s * n)) < 0.06) {
        return std::nullopt;
    }
    const auto p = at(s);
    return p ? std::optional<double>(across ? (*p)[1] : (*p)[0]) : std::nullopt;
}

// Every checker edge as drawn against where `map` puts it, along every third
// raster row and column it crosses: the largest distance in pixels over the
// places compared, and how many places showed no edge within 16 pixels.
struct EdgeFit {
    double worst = 0.0;
    int compared = 0;
    int missing = 0;
};

EdgeFit fitEdges(const Picture& p, const RasterMap& map, int n) {
    EdgeFit fit;
    for (int i = 1; i < n; ++i) {
        const double edge = static_cast<double>(i) / n;
        for (const bool across : {false, true}) {
            const int lines = across ? p.width : p.height;
            for (int line = 2; line < lines - 2; line += 3) {
                const std::optional<double> expected =
                    edgeMeets(map, across, edge, line, p.width, p.height, n);
                if (!expected || *expected < 6 || *expected > (across ? p.height : p.width) - 6) {
                    continue;
                }
                const std::optional<double> seen = halfwayCrossing(p, !across, line, *expected);
                if (!seen) {
                    ++fit.missing;
                    continue;
                }
                fit.worst = std::max(fit.worst, std::fabs(*seen - *expected));
                ++fit.compared;
            }
        }
    }
    return fit;
}

WarpMesh smoothOn(const ProjectiveMap& h, std::int64_t cols, std::int64_t rows) {
    WarpMesh mesh{cols, rows, {}};
    mesh.interpolation = WarpMesh::Interpolation::smooth;
    for (std::int64_t r = 0; r <= rows; ++r) {
        for (std::int64_t c = 0; c <= cols; ++c) {
            const auto p = *h.apply(static_cast<double>(c) / static_cast<double>(cols),
                                    static_cast<double>(r) / static_cast<double>(rows));
            mesh.points.push_back({static_cast<float>(p[0]), static_cast<float>(p[1])});
        }
    }
    return mesh;
}

OutputConfig warpedBy(const WarpMesh& mesh) {
    OutputConfig output;
    output.warp = OutputWarp{};
    const std::size_t last = mesh.points.size() - 1;
    const auto cols = static_cast<std::size_t>(mesh.cols);
    output.warp->corners = {mesh.points[0], mesh.points[cols], mesh.points[last],
                            mesh.points[last - cols]};
    output.warp->mesh = mesh;
    return output;
}

TEST(SmoothMeshRender, AMeshOnAKeystonesGridDrawsExactlyThatKeystone) {
    constexpr int width = 1280, height = 720, n = 8;
    ProjectModel model;
    model.setSurfaces(checkerSurfaces(n));
    const ProjectiveMap keystone = *ProjectiveMap::fromUnitSquare(
        {{{0.061, 0.032}, {0.953, 0.004}, {0.991, 0.968}, {0.017, 0.905}}});
    const Picture p = renderFrame(model, warpedBy(smoothOn(keystone, 4, 3)), width, height);
    ASSERT_EQ(p.width, width);
    const RasterMap map = [&](double u, double v) { return keystone.apply(u, v); };
    const EdgeFit fit = fitEdges(p, map, n);
    EXPECT_GT(fit.compared, 200);
    EXPECT_EQ(fit.missing, 0);
    EXPECT_LT(fit.worst, 0.5);
}

// An output's 4 x 3 mesh with an interior point dragged by (34, 48) pixels
// of a 1920 x 1080 raster: drawn smooth, every checker edge lies on the
// smooth map within half a pixel, across the cell borders too; drawn as
// cells, the same edges step aside at the borders by pixels.
TEST(SmoothMeshRender, ABentMeshDrawsStraightLinesWithoutStepsAtCellBorders) {
    constexpr int width = 1280, height = 720, n = 8;
    ProjectModel model;
    model.setSurfaces(checkerSurfaces(n));
    WarpMesh mesh = *WarpMesh::from(
        std::vector<Pt>(identityWarpCorners.begin(), identityWarpCorners.end()), 4, 3);
    mesh.interpolation = WarpMesh::Interpolation::smooth;
    mesh.points[7].x += 34.0f / 1920.0f; // column 2, row 1
    mesh.points[7].y += 48.0f / 1080.0f;
    const SmoothMeshMap smooth = *SmoothMeshMap::from(mesh);
    const RasterMap map = [&](double u, double v) -> std::optional<std::array<double, 2>> {
        const std::optional<Pt> p = smooth.map(u, v);
        return p ? std::optional<std::array<double, 2>>({p->x, p->y}) : std::nullopt;
    };

    const Picture drawn = renderFrame(model, warpedBy(mesh), width, height);
    ASSERT_EQ(drawn.width, width);
    const EdgeFit smoothFit = fitEdges(drawn, map, n);
    EXPECT_GT(smoothFit.compared, 200);
    EXPECT_EQ(smoothFit.missing, 0);
    EXPECT_LT(smoothFit.worst, 0.5);

    mesh.interpolation = WarpMesh::Interpolation::cells;
    const Picture cells = renderFrame(model, warpedBy(mesh), width, height);
    const EdgeFit cellsFit = fitEdges(cells, map, n);
    EXPECT_GT(cellsFit.worst, 2.0);
    std::printf("[ figures  ] checker edges off the smooth map: %.3f px drawn smooth, %.3f px "
                "drawn as cells\n",
                smoothFit.worst, cellsFit.worst);
}

// A surface's smooth mesh on the canvas: its bent outer edge follows the map.
TEST(SmoothMeshRender, ASurfacesSmoothMeshBendsItsEdgeAlongTheMap) {
    constexpr int width = 640, height = 360;
    Surface column = colourSurface(rect(0.3f, 0.1f, 0.7f, 0.9f), {1, 1, 1, 1});
    column.mesh = WarpMesh::from(column.corners, 2, 3);
    column.mesh->interpolation = WarpMesh::Interpolation::smooth;
    column.mesh->points[3].x -= 0.08f; // the left edge, row 1
    column.mesh->points[5].x += 0.05f; // the right edge, row 1
    ProjectModel model;
    model.setSurfaces({column});
    const Picture p = renderFrame(model, std::nullopt, width, height);
    ASSERT_EQ(p.width, width);
    const SmoothMeshMap smooth = *SmoothMeshMap::from(*column.mesh);
    double worst = 0.0;
    for (int y = 40; y < 320; y += 4) {
        for (const double edge : {0.0, 1.0}) {
            // Where the picture's side u = edge meets the row: bisection on v.
            double lo = 0.0, hi = 1.0;
            for (int i = 0; i < 60; ++i) {
                const double mid = 0.5 * (lo + hi);
                (smooth.map(edge, mid)->y * height < y + 0.5 ? lo : hi) = mid;
            }
            const double expected = smooth.map(edge, lo)->x * width;
            const std::optional<double> seen = halfwayCrossing(p, true, y, expected);
            ASSERT_TRUE(seen) << "row " << y;
            worst = std::max(worst, std::fabs(*seen - expected));
        }
    }
    // The surface's own edge is not smoothed: a pixel is in or out.
    EXPECT_LT(worst, 0.75);
}

} // namespace
} // namespace prismeta::test
