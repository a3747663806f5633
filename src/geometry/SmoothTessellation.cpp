#include "geometry/SmoothTessellation.h"

#include "geometry/SmoothMesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace prismeta {

namespace {

// Samples per cell side when measuring how long it is drawn.
constexpr int measureSteps = 4;
// The most sub-cells one cell side is cut into.
constexpr int maxCutsPerSpan = 1024;

std::size_t sum(const std::vector<int>& cuts) {
    return std::accumulate(cuts.begin(), cuts.end(), std::size_t{0},
                           [](std::size_t a, int b) { return a + static_cast<std::size_t>(b); });
}

// The longest drawn length of each span along the mesh's lines of one
// direction and the lines halfway between them: the span's largest sample
// step times the steps, so that a span drawn unevenly is cut by its fastest
// part. across: spans of u along lines of constant v; else the reverse.
bool measureSpans(const SmoothMeshMap& map, PixelScale scale, bool across,
                  std::vector<double>& longest) {
    const std::int64_t spans = across ? map.cols() : map.rows();
    const std::int64_t lines = 2 * (across ? map.rows() : map.cols());
    longest.assign(static_cast<std::size_t>(spans), 0.0);
    for (std::int64_t line = 0; line <= lines; ++line) {
        const double fixed = static_cast<double>(line) / static_cast<double>(lines);
        const auto at = [&](double s) { return across ? map.map(s, fixed) : map.map(fixed, s); };
        std::optional<Pt> previous = at(0.0);
        if (!previous) {
            return false;
        }
        for (std::int64_t span = 0; span < spans; ++span) {
            for (int step = 1; step <= measureSteps; ++step) {
                const double s =
                    (static_cast<double>(span) + static_cast<double>(step) / measureSteps) /
                    static_cast<double>(spans);
                const std::optional<Pt> p = at(s);
                if (!p) {
                    return false;
                }
                const double length =
                    std::hypot((p->x - previous->x) * scale.x, (p->y - previous->y) * scale.y);
                double& slot = longest[static_cast<std::size_t>(span)];
                slot = std::max(slot, length * measureSteps);
                previous = p;
            }
        }
    }
    return true;
}

std::vector<int> cutsFor(const std::vector<double>& longest) {
    std::vector<int> cuts(longest.size(), 1);
    for (std::size_t i = 0; i < longest.size(); ++i) {
        const double wanted = std::ceil(longest[i] / smoothCutPixels);
        cuts[i] = std::isfinite(wanted)
                      ? static_cast<int>(std::clamp(wanted, 1.0, double{maxCutsPerSpan}))
                      : maxCutsPerSpan;
    }
    return cuts;
}

// The picture coordinates of the nodes along one direction: each span's
// cuts spread evenly over it.
void nodesOf(const std::vector<int>& cuts, std::vector<float>& nodes) {
    nodes.clear();
    const double spans = static_cast<double>(cuts.size());
    for (std::size_t span = 0; span < cuts.size(); ++span) {
        for (int k = 0; k < cuts[span]; ++k) {
            nodes.push_back(static_cast<float>(
                (static_cast<double>(span) + static_cast<double>(k) / cuts[span]) / spans));
        }
    }
    nodes.push_back(1.0f);
}

} // namespace

bool drawnSmooth(const WarpMesh& mesh) {
    // hasValidGrid bounds cols * rows by WarpMesh::maxPoints: no overflow.
    return mesh.interpolation == WarpMesh::Interpolation::smooth && mesh.hasValidGrid() &&
           6 * static_cast<std::size_t>(mesh.cols) * static_cast<std::size_t>(mesh.rows) <=
               maxSmoothVertices;
}

std::size_t SmoothCuts::vertexCount() const {
    return 6 * sum(across) * sum(down);
}

std::optional<SmoothCuts> smoothCuts(const SmoothMeshMap& map, PixelScale scale) {
    SmoothCuts cuts;
    cuts.across.assign(static_cast<std::size_t>(map.cols()), 1);
    cuts.down.assign(static_cast<std::size_t>(map.rows()), 1);
    if (cuts.vertexCount() >= maxSmoothVertices) {
        return cuts; // a cell each already fills the budget: nothing to measure
    }
    std::vector<double> longest;
    if (!measureSpans(map, scale, true, longest)) {
        return std::nullopt;
    }
    cuts.across = cutsFor(longest);
    if (!measureSpans(map, scale, false, longest)) {
        return std::nullopt;
    }
    cuts.down = cutsFor(longest);
    // Over the budget: every span cut less, in proportion, until it fits.
    while (cuts.vertexCount() > maxSmoothVertices) {
        const double shrink = std::sqrt(static_cast<double>(maxSmoothVertices) /
                                        static_cast<double>(cuts.vertexCount()));
        for (std::vector<int>* axis : {&cuts.across, &cuts.down}) {
            for (int& n : *axis) {
                n = std::max(1, std::min(n - 1, static_cast<int>(std::floor(n * shrink))));
            }
        }
    }
    return cuts;
}

std::size_t tessellateSmoothMesh(const SmoothMeshMap& map, const SmoothCuts& cuts, PixelScale scale,
                                 std::vector<SurfaceVertex>& out) {
    std::vector<float> us;
    std::vector<float> vs;
    nodesOf(cuts.across, us);
    nodesOf(cuts.down, vs);
    std::vector<Pt> points;
    points.reserve(us.size() * vs.size());
    for (const float v : vs) {
        for (const float u : us) {
            const std::optional<Pt> p = map.map(u, v);
            if (!p) {
                return 0;
            }
            points.push_back(*p);
        }
    }
    const std::size_t count = cuts.vertexCount();
    const std::size_t at = out.size();
    out.resize(at + count);
    SurfaceVertex* vertex = out.data() + at;
    const auto set = [](SurfaceVertex& to, Pt p, float u, float v) {
        to.pos[0] = p.x;
        to.pos[1] = p.y;
        to.uvq[0] = u;
        to.uvq[1] = v;
        to.uvq[2] = 1.0f;
    };
    const std::size_t stride = us.size();
    const auto squared = [](Pt a, Pt b, PixelScale s) {
        const double dx = (a.x - b.x) * s.x;
        const double dy = (a.y - b.y) * s.y;
        return dx * dx + dy * dy;
    };
    for (std::size_t j = 0; j + 1 < vs.size(); ++j) {
        for (std::size_t i = 0; i + 1 < us.size(); ++i) {
            const std::size_t tl = j * stride + i;
            const std::array<std::size_t, 4> quad = {tl, tl + 1, tl + stride + 1, tl + stride};
            const std::array<float, 4> u = {us[i], us[i + 1], us[i + 1], us[i]};
            const std::array<float, 4> v = {vs[j], vs[j], vs[j + 1], vs[j + 1]};
            // Split along the shorter diagonal, so that a sheared sub-cell's
            // triangles stay within sqrt 2 times the cut.
            const std::size_t first = squared(points[quad[0]], points[quad[2]], scale) <=
                                              squared(points[quad[1]], points[quad[3]], scale)
                                          ? 0
                                          : 1;
            for (const std::size_t k : {first, first + 1, first + 2, first, first + 2, first + 3}) {
                const std::size_t corner = k % 4;
                set(*vertex++, points[quad[corner]], u[corner], v[corner]);
            }
        }
    }
    return count;
}

} // namespace prismeta
