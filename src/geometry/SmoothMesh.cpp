#include "geometry/SmoothMesh.h"

#include "core/WarpMesh.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

using Vec = std::array<double, 2>;

// One direction's nodes and weights around a span, ghosts folded in.
struct AxisTerms {
    std::array<std::int64_t, 4> index{};
    std::array<double, 4> weight{};
    int count = 0;

    void add(std::int64_t i, double w) {
        for (int k = 0; k < count; ++k) {
            if (index[k] == i) {
                weight[k] += w;
                return;
            }
        }
        index[count] = i;
        weight[count] = w;
        ++count;
    }
};

AxisTerms axisTerms(std::int64_t spans, double s) {
    const double scaled = s * static_cast<double>(spans);
    double floored = std::floor(scaled);
    if (!std::isfinite(floored)) {
        floored = 0.0;
    }
    const auto span =
        static_cast<std::int64_t>(std::clamp(floored, 0.0, static_cast<double>(spans - 1)));
    const double t = std::isfinite(scaled) ? scaled - static_cast<double>(span) : 0.0;
    const auto w = catmullRomWeights(t);
    AxisTerms out;
    for (int k = 0; k < 4; ++k) {
        const std::int64_t node = span - 1 + k;
        if (node < 0) { // q[-1] = 2 q[0] - q[1]
            out.add(0, 2.0 * w[k]);
            out.add(1, -w[k]);
        } else if (node > spans) { // q[N + 1] = 2 q[N] - q[N - 1]
            out.add(spans, 2.0 * w[k]);
            out.add(spans - 1, -w[k]);
        } else {
            out.add(node, w[k]);
        }
    }
    return out;
}

} // namespace

std::optional<std::array<double, 2>> ProjectiveMap::apply(double x, double y) const {
    const double w = m[6] * x + m[7] * y + m[8];
    if (w == 0.0 || !std::isfinite(w)) {
        return std::nullopt;
    }
    return Vec{(m[0] * x + m[1] * y + m[2]) / w, (m[3] * x + m[4] * y + m[5]) / w};
}

std::optional<ProjectiveMap> ProjectiveMap::inverse() const {
    const auto& a = m;
    const double c0 = a[4] * a[8] - a[5] * a[7];
    const double c1 = a[5] * a[6] - a[3] * a[8];
    const double c2 = a[3] * a[7] - a[4] * a[6];
    const double det = a[0] * c0 + a[1] * c1 + a[2] * c2;
    if (det == 0.0 || !std::isfinite(det)) {
        return std::nullopt;
    }
    ProjectiveMap out;
    out.m = {c0 / det, (a[2] * a[7] - a[1] * a[8]) / det, (a[1] * a[5] - a[2] * a[4]) / det,
             c1 / det, (a[0] * a[8] - a[2] * a[6]) / det, (a[2] * a[3] - a[0] * a[5]) / det,
             c2 / det, (a[1] * a[6] - a[0] * a[7]) / det, (a[0] * a[4] - a[1] * a[3]) / det};
    return out;
}

std::optional<ProjectiveMap>
ProjectiveMap::fromUnitSquare(const std::array<std::array<double, 2>, 4>& quad) {
    for (const auto& p : quad) {
        if (!std::isfinite(p[0]) || !std::isfinite(p[1])) {
            return std::nullopt;
        }
    }
    const auto [x0, y0] = quad[0];
    const auto [x1, y1] = quad[1];
    const auto [x2, y2] = quad[2];
    const auto [x3, y3] = quad[3];
    // No three corners on a line: each corner's turn must be well away from
    // zero against the quad's size.
    double scale = 0.0;
    for (int i = 0; i < 4; ++i) {
        const auto& a = quad[static_cast<std::size_t>(i)];
        const auto& b = quad[static_cast<std::size_t>((i + 1) % 4)];
        scale = std::max(scale, std::hypot(b[0] - a[0], b[1] - a[1]));
    }
    if (scale == 0.0) {
        return std::nullopt;
    }
    for (int i = 0; i < 4; ++i) {
        const auto& a = quad[static_cast<std::size_t>((i + 3) % 4)];
        const auto& b = quad[static_cast<std::size_t>(i)];
        const auto& c = quad[static_cast<std::size_t>((i + 1) % 4)];
        const double turn = (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
        if (std::abs(turn) <= 1e-12 * scale * scale) {
            return std::nullopt;
        }
    }
    const double sx = x0 - x1 + x2 - x3;
    const double sy = y0 - y1 + y2 - y3;
    double g = 0.0;
    double h = 0.0;
    if (sx != 0.0 || sy != 0.0) {
        const double dx1 = x1 - x2;
        const double dx2 = x3 - x2;
        const double dy1 = y1 - y2;
        const double dy2 = y3 - y2;
        const double den = dx1 * dy2 - dx2 * dy1;
        if (den == 0.0) {
            return std::nullopt;
        }
        g = (sx * dy2 - dx2 * sy) / den;
        h = (dx1 * sy - sx * dy1) / den;
    }
    ProjectiveMap out;
    out.m = {
        x1 - x0 + g * x1, x3 - x0 + h * x3, x0, y1 - y0 + g * y1, y3 - y0 + h * y3, y0, g, h, 1.0};
    if (!out.inverse()) {
        return std::nullopt;
    }
    return out;
}

std::array<double, 4> catmullRomWeights(double t) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    return {0.5 * (-t3 + 2.0 * t2 - t), 0.5 * (3.0 * t3 - 5.0 * t2 + 2.0),
            0.5 * (-3.0 * t3 + 4.0 * t2 + t), 0.5 * (t3 - t2)};
}

SmoothMeshTerms smoothMeshTerms(std::int64_t cols, std::int64_t rows, double u, double v) {
    SmoothMeshTerms out;
    if (cols < 1 || rows < 1) {
        return out;
    }
    const AxisTerms across = axisTerms(cols, u);
    const AxisTerms down = axisTerms(rows, v);
    for (int j = 0; j < down.count; ++j) {
        for (int i = 0; i < across.count; ++i) {
            out.terms[static_cast<std::size_t>(out.count++)] = {
                down.index[j] * (cols + 1) + across.index[i], down.weight[j] * across.weight[i]};
        }
    }
    return out;
}

std::optional<SmoothMeshMap> SmoothMeshMap::from(const WarpMesh& mesh) {
    if (!mesh.hasValidGrid()) {
        return std::nullopt;
    }
    const std::int64_t cols = mesh.cols;
    const std::int64_t rows = mesh.rows;
    const auto at = [&](std::int64_t r, std::int64_t c) {
        const Pt& p = mesh.points[static_cast<std::size_t>(r * (cols + 1) + c)];
        return Vec{p.x, p.y};
    };
    const auto h =
        ProjectiveMap::fromUnitSquare({at(0, 0), at(0, cols), at(rows, cols), at(rows, 0)});
    if (!h) {
        return std::nullopt;
    }
    SmoothMeshMap out;
    out.cols_ = cols;
    out.rows_ = rows;
    out.h_ = *h;
    out.hInverse_ = *h->inverse();
    out.q_.reserve(static_cast<std::size_t>((cols + 1) * (rows + 1)));
    for (std::int64_t r = 0; r <= rows; ++r) {
        for (std::int64_t c = 0; c <= cols; ++c) {
            const Vec p = at(r, c);
            const auto back = out.hInverse_.apply(p[0], p[1]);
            if (!back || !std::isfinite((*back)[0]) || !std::isfinite((*back)[1])) {
                return std::nullopt;
            }
            out.q_.push_back({(*back)[0] - static_cast<double>(c) / static_cast<double>(cols),
                              (*back)[1] - static_cast<double>(r) / static_cast<double>(rows)});
        }
    }
    return out;
}

std::array<double, 2> SmoothMeshMap::departure(double u, double v) const {
    const SmoothMeshTerms t = smoothMeshTerms(cols_, rows_, u, v);
    Vec sum{0.0, 0.0};
    for (int k = 0; k < t.count; ++k) {
        const Vec& q = q_[static_cast<std::size_t>(t.terms[static_cast<std::size_t>(k)].index)];
        const double w = t.terms[static_cast<std::size_t>(k)].weight;
        sum[0] += w * q[0];
        sum[1] += w * q[1];
    }
    return sum;
}

std::optional<Pt> SmoothMeshMap::map(double u, double v) const {
    const Vec q = departure(u, v);
    const auto p = h_.apply(u + q[0], v + q[1]);
    if (!p || !std::isfinite((*p)[0]) || !std::isfinite((*p)[1])) {
        return std::nullopt;
    }
    return Pt{static_cast<float>((*p)[0]), static_cast<float>((*p)[1])};
}

std::optional<Pt> SmoothMeshMap::inverse(Pt target) const {
    // Newton's method in double precision on f(u, v) = H((u, v) + Q) - p,
    // with the Jacobian by central differences; the homography's own inverse
    // is where the departures are zero, so it starts close.
    const auto start = hInverse_.apply(target.x, target.y);
    if (!start) {
        return std::nullopt;
    }
    const auto eval = [&](double u, double v) -> std::optional<Vec> {
        const Vec q = departure(u, v);
        return h_.apply(u + q[0], v + q[1]);
    };
    double u = (*start)[0];
    double v = (*start)[1];
    constexpr double step = 1e-6;
    for (int iteration = 0; iteration < 40; ++iteration) {
        const auto f = eval(u, v);
        const auto fu0 = eval(u - step, v);
        const auto fu1 = eval(u + step, v);
        const auto fv0 = eval(u, v - step);
        const auto fv1 = eval(u, v + step);
        if (!f || !fu0 || !fu1 || !fv0 || !fv1) {
            return std::nullopt;
        }
        const double rx = (*f)[0] - target.x;
        const double ry = (*f)[1] - target.y;
        if (std::hypot(rx, ry) < 1e-10) {
            return Pt{static_cast<float>(u), static_cast<float>(v)};
        }
        const double a = ((*fu1)[0] - (*fu0)[0]) / (2 * step);
        const double b = ((*fv1)[0] - (*fv0)[0]) / (2 * step);
        const double c = ((*fu1)[1] - (*fu0)[1]) / (2 * step);
        const double d = ((*fv1)[1] - (*fv0)[1]) / (2 * step);
        const double det = a * d - b * c;
        if (det == 0.0 || !std::isfinite(det)) {
            return std::nullopt;
        }
        // Damped: a step that does not bring the point closer is halved, so
        // a strongly bent mesh does not send the search to another branch.
        const double du = (d * rx - b * ry) / det;
        const double dv = (a * ry - c * rx) / det;
        const double residual = std::hypot(rx, ry);
        double scale = 1.0;
        for (int halving = 0; halving < 20; ++halving, scale *= 0.5) {
            const auto next = eval(u - scale * du, v - scale * dv);
            if (next && std::hypot((*next)[0] - target.x, (*next)[1] - target.y) < residual) {
                break;
            }
        }
        u -= scale * du;
        v -= scale * dv;
        if (!std::isfinite(u) || !std::isfinite(v)) {
            return std::nullopt;
        }
    }
    const auto f = eval(u, v);
    if (f && std::hypot((*f)[0] - target.x, (*f)[1] - target.y) < 1e-7) {
        return Pt{static_cast<float>(u), static_cast<float>(v)};
    }
    return std::nullopt;
}

} // namespace prismeta
