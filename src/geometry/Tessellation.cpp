#include "geometry/Tessellation.h"

#include "core/Surface.h"
#include "geometry/ProjectiveWeights.h"
#include "geometry/SmoothMesh.h"

#include <array>
#include <cstdint>

namespace prismeta {

namespace {

struct TexPoint {
    float u = 0.0f;
    float v = 0.0f;
};

void setVertex(SurfaceVertex& out, Pt p, TexPoint t, float q) {
    out.pos[0] = p.x;
    out.pos[1] = p.y;
    out.uvq[0] = t.u * q;
    out.uvq[1] = t.v * q;
    out.uvq[2] = q;
}

// Two triangles sharing the diagonal P0-P2: (P0, P1, P2), (P0, P2, P3).
// Written in place: this runs for every mesh cell of every frame.
void emitQuad(const std::array<Pt, 4>& p, const std::array<TexPoint, 4>& t,
              const std::array<float, 4>& q, std::vector<SurfaceVertex>& out) {
    const std::size_t at = out.size();
    out.resize(at + 6);
    SurfaceVertex* v = out.data() + at;
    setVertex(v[0], p[0], t[0], q[0]);
    setVertex(v[1], p[1], t[1], q[1]);
    setVertex(v[2], p[2], t[2], q[2]);
    v[3] = v[0];
    v[4] = v[2];
    setVertex(v[5], p[3], t[3], q[3]);
}

void reserveFor(std::vector<SurfaceVertex>& out, std::size_t more) {
    const std::size_t needed = out.size() + more;
    if (needed > out.capacity()) {
        out.reserve(needed > 2 * out.capacity() ? needed : 2 * out.capacity());
    }
}

// Vertices of the corners' quad, or of the mesh drawn as cells.
std::size_t cellsVertexCount(std::span<const Pt> corners, const WarpMesh* mesh) {
    if (mesh) {
        // hasValidGrid bounds the grid by WarpMesh::maxPoints (2^22), so
        // 6 * cols * rows stays far below any overflow.
        if (!mesh->hasValidGrid()) {
            return 0;
        }
        return 6 * static_cast<std::size_t>(mesh->cols) * static_cast<std::size_t>(mesh->rows);
    }
    return corners.size() >= 4 ? 6 : 0;
}

// A smooth mesh's map and cuts, or nothing when it is drawn as cells.
struct SmoothPlan {
    SmoothMeshMap map;
    SmoothCuts cuts;
};

std::optional<SmoothPlan> smoothPlan(const WarpMesh* mesh, PixelScale scale) {
    if (!mesh || !drawnSmooth(*mesh)) {
        return std::nullopt;
    }
    std::optional<SmoothMeshMap> map = SmoothMeshMap::from(*mesh);
    if (!map) {
        return std::nullopt;
    }
    std::optional<SmoothCuts> cuts = smoothCuts(*map, scale);
    if (!cuts) {
        return std::nullopt;
    }
    return SmoothPlan{std::move(*map), std::move(*cuts)};
}

} // namespace

std::size_t tessellatedVertexCount(const Surface& surface, PixelScale scale) {
    return tessellatedVertexCount(surface.corners, surface.mesh ? &*surface.mesh : nullptr, scale);
}

std::size_t tessellateSurface(const Surface& surface, PixelScale scale,
                              std::vector<SurfaceVertex>& out) {
    return tessellateQuads(surface.corners, surface.mesh ? &*surface.mesh : nullptr, scale, out);
}

std::size_t tessellatedVertexCount(std::span<const Pt> corners, const WarpMesh* mesh,
                                   PixelScale scale) {
    if (const std::optional<SmoothPlan> plan = smoothPlan(mesh, scale)) {
        return plan->cuts.vertexCount();
    }
    return cellsVertexCount(corners, mesh);
}

std::size_t tessellateQuads(std::span<const Pt> corners, const WarpMesh* warpMesh, PixelScale scale,
                            std::vector<SurfaceVertex>& out) {
    if (const std::optional<SmoothPlan> plan = smoothPlan(warpMesh, scale)) {
        reserveFor(out, plan->cuts.vertexCount());
        if (const std::size_t count = tessellateSmoothMesh(plan->map, plan->cuts, scale, out)) {
            return count;
        }
    }
    const std::size_t count = cellsVertexCount(corners, warpMesh);
    if (count == 0) {
        return 0;
    }
    reserveFor(out, count);

    if (!warpMesh) {
        // The weights see the whole list: a surface with extra corners falls
        // back to linear mapping of its first four.
        const std::span<const Pt> c = corners;
        emitQuad({c[0], c[1], c[2], c[3]}, {TexPoint{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                 projectiveWeights(c), out);
        return count;
    }

    const WarpMesh& mesh = *warpMesh;
    const std::int64_t cols = mesh.cols;
    const std::int64_t rows = mesh.rows;
    const float fcols = static_cast<float>(cols);
    const float frows = static_cast<float>(rows);
    const std::size_t stride = static_cast<std::size_t>(cols) + 1;
    for (std::int64_t m = 0; m < rows; ++m) {
        const float v0 = static_cast<float>(m) / frows;
        const float v1 = static_cast<float>(m + 1) / frows;
        const std::size_t row = static_cast<std::size_t>(m) * stride;
        for (std::int64_t i = 0; i < cols; ++i) {
            const float u0 = static_cast<float>(i) / fcols;
            const float u1 = static_cast<float>(i + 1) / fcols;
            const std::size_t tl = row + static_cast<std::size_t>(i);
            const std::array<Pt, 4> cell = {mesh.points[tl], mesh.points[tl + 1],
                                            mesh.points[tl + stride + 1], mesh.points[tl + stride]};
            emitQuad(cell, {TexPoint{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}},
                     projectiveWeights(cell), out);
        }
    }
    return count;
}

} // namespace prismeta
