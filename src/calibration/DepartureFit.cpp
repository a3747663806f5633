#include "calibration/DepartureFit.h"

#include "core/WarpMesh.h"
#include "geometry/SmoothMesh.h"

#include <algorithm>
#include <cmath>

namespace prismeta::calibration {

namespace {

// A node meets the nodes within three of it across and down: a 7 x 7 stencilSide.
constexpr int stencilReach = 3;
constexpr int stencilSide = 2 * stencilReach + 1;

// The normal equations' matrix, one stencilSide a node.
class StencilMatrix {
public:
    StencilMatrix(std::int64_t cols, std::int64_t rows)
        : across_(cols + 1), down_(rows + 1),
          values_(static_cast<std::size_t>(across_ * down_) * stencilSide * stencilSide, 0.0) {}

    std::size_t size() const { return static_cast<std::size_t>(across_ * down_); }

    void add(std::int64_t i, std::int64_t j, double value) {
        const std::int64_t dc = j % across_ - i % across_;
        const std::int64_t dr = j / across_ - i / across_;
        values_[slot(i, dc, dr)] += value;
    }
    double diagonal(std::int64_t i) const { return values_[slot(i, 0, 0)]; }
    void setDiagonal(std::int64_t i, double value) { values_[slot(i, 0, 0)] = value; }

    void multiply(const std::vector<double>& x, std::vector<double>& out) const {
        for (std::int64_t r = 0; r < down_; ++r) {
            for (std::int64_t c = 0; c < across_; ++c) {
                const std::int64_t i = r * across_ + c;
                const double* row = &values_[slot(i, -stencilReach, -stencilReach)];
                double sum = 0.0;
                for (std::int64_t dr = -stencilReach; dr <= stencilReach; ++dr) {
                    const std::int64_t rr = r + dr;
                    if (rr < 0 || rr >= down_) {
                        continue;
                    }
                    for (std::int64_t dc = -stencilReach; dc <= stencilReach; ++dc) {
                        const std::int64_t cc = c + dc;
                        if (cc >= 0 && cc < across_) {
                            sum += row[(dr + stencilReach) * stencilSide + dc + stencilReach] *
                                   x[static_cast<std::size_t>(rr * across_ + cc)];
                        }
                    }
                }
                out[static_cast<std::size_t>(i)] = sum;
            }
        }
    }

private:
    std::size_t slot(std::int64_t i, std::int64_t dc, std::int64_t dr) const {
        return static_cast<std::size_t>(i * stencilSide * stencilSide +
                                        (dr + stencilReach) * stencilSide + dc + stencilReach);
    }

    std::int64_t across_;
    std::int64_t down_;
    std::vector<double> values_;
};

// Conjugate gradients with the diagonal as preconditioner, from zero.
std::vector<double> solveConjugateGradients(const StencilMatrix& a, const std::vector<double>& b) {
    const std::size_t n = b.size();
    std::vector<double> x(n, 0.0);
    std::vector<double> r = b;
    std::vector<double> z(n);
    std::vector<double> p(n);
    std::vector<double> ap(n);
    double bNorm = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        bNorm += b[i] * b[i];
    }
    if (!(bNorm > 0.0)) {
        return x;
    }
    const auto precondition = [&] {
        for (std::size_t i = 0; i < n; ++i) {
            const double d = a.diagonal(static_cast<std::int64_t>(i));
            z[i] = d > 0.0 ? r[i] / d : r[i];
        }
    };
    precondition();
    p = z;
    double rz = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        rz += r[i] * z[i];
    }
    const std::size_t limit = std::max<std::size_t>(200, std::min<std::size_t>(10 * n, 3000));
    for (std::size_t iteration = 0; iteration < limit; ++iteration) {
        a.multiply(p, ap);
        double pap = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            pap += p[i] * ap[i];
        }
        if (!(pap > 0.0)) {
            break;
        }
        const double alpha = rz / pap;
        double rNorm = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            x[i] += alpha * p[i];
            r[i] -= alpha * ap[i];
            rNorm += r[i] * r[i];
        }
        if (rNorm <= 1e-26 * bNorm) {
            break;
        }
        precondition();
        double next = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            next += r[i] * z[i];
        }
        const double beta = next / rz;
        rz = next;
        for (std::size_t i = 0; i < n; ++i) {
            p[i] = z[i] + beta * p[i];
        }
    }
    return x;
}

} // namespace

std::optional<std::vector<std::array<double, 2>>>
fitDepartures(std::int64_t cols, std::int64_t rows, std::span<const DepartureSample> samples,
              const DepartureFitOptions& options) {
    if (samples.empty() || !WarpMesh::gridPointCount(cols, rows)) {
        return std::nullopt;
    }
    StencilMatrix a(cols, rows);
    const std::size_t n = a.size();
    std::vector<bool> pinned(n, false);
    if (options.pinCorners) {
        for (const std::int64_t i :
             {std::int64_t{0}, cols, rows * (cols + 1), (rows + 1) * (cols + 1) - 1}) {
            pinned[static_cast<std::size_t>(i)] = true;
        }
    }
    // A pinned node's departure is zero: its row and column leave the system.
    const auto add = [&](std::int64_t i, std::int64_t j, double value) {
        if (!pinned[static_cast<std::size_t>(i)] && !pinned[static_cast<std::size_t>(j)]) {
            a.add(i, j, value);
        }
    };
    std::vector<double> bx(n, 0.0);
    std::vector<double> by(n, 0.0);
    for (const DepartureSample& s : samples) {
        const SmoothMeshTerms t = smoothMeshTerms(cols, rows, s.u, s.v);
        for (int k = 0; k < t.count; ++k) {
            const SmoothMeshTerm& tk = t.terms[static_cast<std::size_t>(k)];
            for (int l = 0; l < t.count; ++l) {
                const SmoothMeshTerm& tl = t.terms[static_cast<std::size_t>(l)];
                add(tk.index, tl.index, tk.weight * tl.weight);
            }
            if (!pinned[static_cast<std::size_t>(tk.index)]) {
                bx[static_cast<std::size_t>(tk.index)] += tk.weight * s.dx;
                by[static_cast<std::size_t>(tk.index)] += tk.weight * s.dy;
            }
        }
    }
    // A node's share of the samples, on average: what the regularisation is
    // weighed against.
    double share = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        share += a.diagonal(static_cast<std::int64_t>(i));
    }
    share = std::max(share / static_cast<double>(n), 1e-12);
    const auto bend = [&](std::initializer_list<std::pair<std::int64_t, double>> terms) {
        for (const auto& [i, wi] : terms) {
            for (const auto& [j, wj] : terms) {
                add(i, j, options.bending * share * wi * wj);
            }
        }
    };
    const std::int64_t across = cols + 1;
    for (std::int64_t r = 0; r <= rows; ++r) {
        for (std::int64_t c = 0; c <= cols; ++c) {
            const std::int64_t i = r * across + c;
            if (c >= 1 && c < cols) {
                bend({{i - 1, 1.0}, {i, -2.0}, {i + 1, 1.0}});
            }
            if (r >= 1 && r < rows) {
                bend({{i - across, 1.0}, {i, -2.0}, {i + across, 1.0}});
            }
            if (c < cols && r < rows) {
                bend({{i, 1.0}, {i + 1, -1.0}, {i + across, -1.0}, {i + across + 1, 1.0}});
            }
            add(i, i, options.pull * share);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (pinned[i]) {
            a.setDiagonal(static_cast<std::int64_t>(i), 1.0);
        }
    }
    const std::vector<double> qx = solveConjugateGradients(a, bx);
    const std::vector<double> qy = solveConjugateGradients(a, by);
    std::vector<std::array<double, 2>> q(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(qx[i]) || !std::isfinite(qy[i])) {
            return std::nullopt;
        }
        q[i] = {qx[i], qy[i]};
    }
    return q;
}

} // namespace prismeta::calibration
