#include "calibration/WarpFit.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace prismeta::calibration {

namespace {

// A decoded position pooled over a block of camera pixels: where on the
// canvas the block lies and what the projector shows there.
struct Sample {
    Vec2 canvas;
    Vec2 projector;
};

double median(std::vector<float>& values) {
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

std::vector<Sample> poolSamples(const DecodedOutput& d, const Homography& cameraToCanvas,
                                int block) {
    const int w = d.width;
    const int h = d.height;
    // Blocks whose surroundings are all lit: partly lit pixels at the edge
    // of the projector's light see a mix and are left out.
    const std::size_t stride = static_cast<std::size_t>(w) + 1;
    std::vector<int> dark(stride * (static_cast<std::size_t>(h) + 1), 0);
    for (int y = 0; y < h; ++y) {
        int row = 0;
        for (int x = 0; x < w; ++x) {
            row += d.lit[static_cast<std::size_t>(y) * w + x] != 0 ? 0 : 1;
            dark[(y + 1) * stride + x + 1] = dark[y * stride + x + 1] + row;
        }
    }
    constexpr int margin = 2;
    std::vector<Sample> samples;
    std::vector<float> xs;
    std::vector<float> ys;
    for (int by = 0; by + block <= h; by += block) {
        for (int bx = 0; bx + block <= w; bx += block) {
            const int x0 = std::max(0, bx - margin);
            const int y0 = std::max(0, by - margin);
            const int x1 = std::min(w, bx + block + margin);
            const int y1 = std::min(h, by + block + margin);
            if (dark[y1 * stride + x1] - dark[y0 * stride + x1] - dark[y1 * stride + x0] +
                    dark[y0 * stride + x0] !=
                0) {
                continue;
            }
            xs.clear();
            ys.clear();
            for (int y = by; y < by + block; ++y) {
                for (int x = bx; x < bx + block; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * w + x;
                    if (d.decoded(i)) {
                        xs.push_back(d.x[i]);
                        ys.push_back(d.y[i]);
                    }
                }
            }
            if (xs.size() * 2 < static_cast<std::size_t>(block * block)) {
                continue;
            }
            // The mean of the positions near the median: decoding errors out.
            std::vector<float> mx = xs;
            std::vector<float> my = ys;
            const double cx = median(mx);
            const double cy = median(my);
            double sx = 0.0;
            double sy = 0.0;
            double camX = 0.0;
            double camY = 0.0;
            int n = 0;
            for (int y = by; y < by + block; ++y) {
                for (int x = bx; x < bx + block; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * w + x;
                    if (!d.decoded(i) || std::fabs(d.x[i] - cx) > 2.0 + block ||
                        std::fabs(d.y[i] - cy) > 2.0 + block) {
                        continue;
                    }
                    sx += d.x[i];
                    sy += d.y[i];
                    camX += x + 0.5;
                    camY += y + 0.5;
                    ++n;
                }
            }
            if (n * 2 < block * block) {
                continue;
            }
            const Vec2 camera{camX / n, camY / n};
            if (!(cameraToCanvas.depth(camera) > 0.0)) {
                continue;
            }
            samples.push_back({cameraToCanvas.apply(camera), Vec2{sx / n, sy / n}});
        }
    }
    return samples;
}

std::optional<Homography> fitHomography(const std::vector<Sample>& samples, double threshold) {
    if (samples.size() < 8) {
        return std::nullopt;
    }
    std::vector<cv::Point2d> from;
    std::vector<cv::Point2d> to;
    from.reserve(samples.size());
    to.reserve(samples.size());
    for (const Sample& s : samples) {
        from.emplace_back(s.canvas.x, s.canvas.y);
        to.emplace_back(s.projector.x, s.projector.y);
    }
    std::vector<unsigned char> inliers;
    cv::Mat h;
    try {
        h = cv::findHomography(from, to, cv::RANSAC, threshold, inliers, 2000, 0.999);
        if (h.empty()) {
            return std::nullopt;
        }
        // Least squares over the inliers.
        std::vector<cv::Point2d> inFrom;
        std::vector<cv::Point2d> inTo;
        for (std::size_t i = 0; i < inliers.size(); ++i) {
            if (inliers[i] != 0) {
                inFrom.push_back(from[i]);
                inTo.push_back(to[i]);
            }
        }
        if (inFrom.size() >= 8) {
            cv::Mat refined = cv::findHomography(inFrom, inTo, 0);
            if (!refined.empty()) {
                h = refined;
            }
        }
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    Homography out;
    for (int i = 0; i < 9; ++i) {
        out.m[static_cast<std::size_t>(i)] = h.at<double>(i / 3, i % 3);
        if (!std::isfinite(out.m[static_cast<std::size_t>(i)])) {
            return std::nullopt;
        }
    }
    return out;
}

// The canvas rectangle around where the raster's edge lands through the map
// inverse, padded, clipped to the canvas; none when empty.
std::optional<CanvasRect> footprintCrop(const Homography& canvasToProjector, int width, int height,
                                        double pad) {
    const Homography inverse = canvasToProjector.inverse();
    double x0 = 1e300;
    double y0 = 1e300;
    double x1 = -1e300;
    double y1 = -1e300;
    constexpr int steps = 64;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        for (const Vec2 edge : {Vec2{t * width, 0.0}, Vec2{t * width, double(height)},
                                Vec2{0.0, t * height}, Vec2{double(width), t * height}}) {
            if (!(inverse.depth(edge) * canvasToProjector.depth(inverse.apply(edge)) > 0.0)) {
                // The raster's edge maps beyond the horizon: the whole canvas side.
                x0 = std::min(x0, -1.0);
                y0 = std::min(y0, -1.0);
                x1 = std::max(x1, 2.0);
                y1 = std::max(y1, 2.0);
                continue;
            }
            const Vec2 q = inverse.apply(edge);
            x0 = std::min(x0, q.x);
            y0 = std::min(y0, q.y);
            x1 = std::max(x1, q.x);
            y1 = std::max(y1, q.y);
        }
    }
    x0 = std::max(0.0, x0 - pad);
    y0 = std::max(0.0, y0 - pad);
    x1 = std::min(1.0, x1 + pad);
    y1 = std::min(1.0, y1 + pad);
    if (!(x1 - x0 > 1e-4) || !(y1 - y0 > 1e-4)) {
        return std::nullopt;
    }
    return CanvasRect{x0, y0, x1 - x0, y1 - y0};
}

Vec2 normalized(Vec2 p, int width, int height) {
    return {p.x / width, p.y / height};
}

bool cellMap(const WarpFit& fit, int col, int row, Homography& out) {
    const auto point = [&](int c, int r) {
        const Vec2 n = fit.meshPoints[static_cast<std::size_t>(r) * (fit.meshCols + 1) + c];
        return Vec2{n.x * fit.projectorWidth, n.y * fit.projectorHeight};
    };
    return Homography::fromUnitSquare(
        {point(col, row), point(col + 1, row), point(col + 1, row + 1), point(col, row + 1)}, out);
}

struct Residuals {
    double rms = 0.0;
    double max = 0.0;
    std::size_t used = 0;
    std::size_t outliers = 0;
};

Residuals residuals(const WarpFit& fit, const std::vector<Sample>& samples, double outlier) {
    Residuals r;
    double sum = 0.0;
    for (const Sample& s : samples) {
        const std::optional<Vec2> p = warpCanvasToProjector(fit, s.canvas);
        if (!p) {
            continue;
        }
        const double d = std::hypot(p->x - s.projector.x, p->y - s.projector.y);
        if (!(d <= outlier)) {
            ++r.outliers;
            continue;
        }
        sum += d * d;
        r.max = std::max(r.max, d);
        ++r.used;
    }
    r.rms = r.used > 0 ? std::sqrt(sum / static_cast<double>(r.used)) : 0.0;
    return r;
}

// The mesh over fit.crop, cols x rows cells: each point where the base
// homography puts it, moved by the residual field there, fitted as a
// weighted quadratic to the samples around it.
void buildMesh(WarpFit& fit, const Homography& base, const std::vector<Sample>& samples, int cols,
               int rows) {
    fit.meshCols = cols;
    fit.meshRows = rows;
    fit.meshPoints.assign(static_cast<std::size_t>(cols + 1) * (rows + 1), Vec2{});
    const double cellW = fit.crop.width / cols;
    const double cellH = fit.crop.height / rows;
    // Samples in buckets of one cell, over the mesh and a border around it.
    constexpr int border = 6;
    const int bw = cols + 2 * border;
    const int bh = rows + 2 * border;
    std::vector<std::vector<std::size_t>> buckets(static_cast<std::size_t>(bw) * bh);
    std::vector<Vec2> residual(samples.size());
    std::vector<Vec2> cellPos(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const Vec2 p = base.apply(s.canvas);
        residual[i] = {s.projector.x - p.x, s.projector.y - p.y};
        cellPos[i] = {(s.canvas.x - fit.crop.x) / cellW, (s.canvas.y - fit.crop.y) / cellH};
        const int bx = static_cast<int>(std::floor(cellPos[i].x)) + border;
        const int by = static_cast<int>(std::floor(cellPos[i].y)) + border;
        // Gross decoding errors stay out of the field.
        if (bx < 0 || by < 0 || bx >= bw || by >= bh ||
            !(std::hypot(residual[i].x, residual[i].y) < 50.0)) {
            continue;
        }
        buckets[static_cast<std::size_t>(by) * bw + bx].push_back(i);
    }
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= cols; ++c) {
            Vec2 field{0.0, 0.0};
            for (const double radius : {1.5, 3.0, 5.0}) {
                const double sigma = radius * 0.5;
                cv::Matx<double, 6, 6> normal = cv::Matx<double, 6, 6>::zeros();
                cv::Vec<double, 6> rx = cv::Vec<double, 6>::all(0.0);
                cv::Vec<double, 6> ry = cv::Vec<double, 6>::all(0.0);
                int count = 0;
                const int reach = static_cast<int>(std::ceil(radius));
                for (int by = r - reach; by < r + reach; ++by) {
                    for (int bx = c - reach; bx < c + reach; ++bx) {
                        const int ix = bx + border;
                        const int iy = by + border;
                        if (ix < 0 || iy < 0 || ix >= bw || iy >= bh) {
                            continue;
                        }
                        for (const std::size_t i :
                             buckets[static_cast<std::size_t>(iy) * bw + ix]) {
                            const double dx = cellPos[i].x - c;
                            const double dy = cellPos[i].y - r;
                            const double d2 = dx * dx + dy * dy;
                            if (d2 > radius * radius) {
                                continue;
                            }
                            const double weight = std::exp(-d2 / (2.0 * sigma * sigma));
                            const cv::Vec<double, 6> f(1.0, dx, dy, dx * dx, dx * dy, dy * dy);
                            normal += weight * (f * f.t());
                            rx += weight * residual[i].x * f;
                            ry += weight * residual[i].y * f;
                            ++count;
                        }
                    }
                }
                if (count < 24) {
                    continue;
                }
                cv::Vec<double, 6> ax;
                cv::Vec<double, 6> ay;
                if (cv::solve(normal, rx, ax, cv::DECOMP_CHOLESKY) &&
                    cv::solve(normal, ry, ay, cv::DECOMP_CHOLESKY) && std::isfinite(ax[0]) &&
                    std::isfinite(ay[0])) {
                    field = {ax[0], ay[0]};
                    break;
                }
            }
            const Vec2 q{fit.crop.x + c * cellW, fit.crop.y + r * cellH};
            const Vec2 p = base.apply(q);
            fit.meshPoints[static_cast<std::size_t>(r) * (cols + 1) + c] =
                normalized({p.x + field.x, p.y + field.y}, fit.projectorWidth, fit.projectorHeight);
        }
    }
    fit.corners = {fit.meshPoints[0], fit.meshPoints[static_cast<std::size_t>(cols)],
                   fit.meshPoints.back(),
                   fit.meshPoints[static_cast<std::size_t>(rows) * (cols + 1)]};
}

} // namespace

std::optional<Vec2> warpCanvasToProjector(const WarpFit& fit, Vec2 q) {
    const double u = (q.x - fit.crop.x) / fit.crop.width;
    const double v = (q.y - fit.crop.y) / fit.crop.height;
    if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0)) {
        return std::nullopt;
    }
    Homography cell;
    double a = u;
    double b = v;
    if (fit.meshCols > 0 && fit.meshRows > 0 &&
        fit.meshPoints.size() == static_cast<std::size_t>(fit.meshCols + 1) * (fit.meshRows + 1)) {
        const int col = std::min(fit.meshCols - 1, static_cast<int>(u * fit.meshCols));
        const int row = std::min(fit.meshRows - 1, static_cast<int>(v * fit.meshRows));
        a = u * fit.meshCols - col;
        b = v * fit.meshRows - row;
        if (!cellMap(fit, col, row, cell)) {
            return std::nullopt;
        }
    } else {
        const auto px = [&](Vec2 n) {
            return Vec2{n.x * fit.projectorWidth, n.y * fit.projectorHeight};
        };
        if (!Homography::fromUnitSquare(
                {px(fit.corners[0]), px(fit.corners[1]), px(fit.corners[2]), px(fit.corners[3])},
                cell)) {
            return std::nullopt;
        }
    }
    return cell.apply({a, b});
}

std::vector<Vec2> rasterOutlineInCamera(const WarpFit& fit, const Homography& canvasToCamera,
                                        int perEdge) {
    const Homography projectorToCanvas = fit.canvasToProjector.inverse();
    const double w = fit.projectorWidth;
    const double h = fit.projectorHeight;
    const Vec2 corners[5] = {{0.0, 0.0}, {w, 0.0}, {w, h}, {0.0, h}, {0.0, 0.0}};
    // The canvas's own side of the camera's horizon.
    const double front = canvasToCamera.depth({0.5, 0.5});
    std::vector<Vec2> outline;
    perEdge = std::max(1, perEdge);
    for (int side = 0; side < 4; ++side) {
        for (int i = 0; i < perEdge; ++i) {
            const double t = static_cast<double>(i) / perEdge;
            const Vec2 p{corners[side].x + t * (corners[side + 1].x - corners[side].x),
                         corners[side].y + t * (corners[side + 1].y - corners[side].y)};
            const Vec2 q = projectorToCanvas.apply(p);
            if (!(projectorToCanvas.depth(p) * fit.canvasToProjector.depth(q) > 0.0) ||
                !(canvasToCamera.depth(q) * front > 0.0)) {
                continue;
            }
            const Vec2 c = canvasToCamera.apply(q);
            if (std::isfinite(c.x) && std::isfinite(c.y)) {
                outline.push_back(c);
            }
        }
    }
    return outline;
}

WarpFitOutcome fitWarp(const DecodedOutput& decoded, const Homography& canvasToCamera,
                       const WarpFitOptions& options) {
    WarpFitOutcome outcome;
    if (decoded.width <= 0 || decoded.projectorWidth <= 0) {
        outcome.problem = "nothing was decoded";
        return outcome;
    }
    const int block =
        options.blockSize > 0 ? options.blockSize : std::max(3, (decoded.width + 240) / 480);
    const std::vector<Sample> samples = poolSamples(decoded, canvasToCamera.inverse(), block);
    const int width = decoded.projectorWidth;
    const int height = decoded.projectorHeight;
    const double scale = std::max(width, height);

    WarpFit fit;
    fit.projectorWidth = width;
    fit.projectorHeight = height;
    fit.samples = samples.size();

    std::optional<Homography> flat = fitHomography(samples, options.outlierDistance * 0.5);
    if (!flat) {
        outcome.problem = "too few decoded points to fit";
        return outcome;
    }
    const auto withCorners = [&](const Homography& h, const CanvasRect& crop) {
        WarpFit f = fit;
        f.crop = crop;
        f.canvasToProjector = h;
        const Vec2 cs[4] = {{crop.x, crop.y},
                            {crop.x + crop.width, crop.y},
                            {crop.x + crop.width, crop.y + crop.height},
                            {crop.x, crop.y + crop.height}};
        for (int k = 0; k < 4; ++k) {
            f.corners[static_cast<std::size_t>(k)] = normalized(h.apply(cs[k]), width, height);
        }
        return f;
    };
    const auto score = [&](WarpFit& f) {
        const Residuals r = residuals(f, samples, options.outlierDistance);
        f.rms = r.rms;
        f.maxResidual = r.max;
        f.outliers = r.outliers;
        f.samples = r.used + r.outliers;
    };

    std::optional<WarpFit> best;
    if (options.model != WarpModel::mesh) {
        const std::optional<CanvasRect> crop = footprintCrop(*flat, width, height, 0.0);
        if (!crop) {
            outcome.problem = "its light does not reach the canvas";
            return outcome;
        }
        WarpFit f = withCorners(*flat, *crop);
        score(f);
        if (options.model == WarpModel::homography || (f.rms <= 0.3 && f.maxResidual <= 1.0)) {
            outcome.fit = std::move(f);
            return outcome;
        }
        best = std::move(f);
    }

    // A curved wall: a homography over everything as the base, a mesh for
    // the rest.
    const std::optional<Homography> base = fitHomography(samples, scale * 0.02);
    if (!base) {
        outcome.problem = "too few decoded points to fit";
        return outcome;
    }
    const std::optional<CanvasRect> crop = footprintCrop(*base, width, height, 0.02);
    if (!crop) {
        outcome.problem = "its light does not reach the canvas";
        return outcome;
    }
    std::vector<std::pair<int, int>> sizes;
    if (options.meshCols > 0 && options.meshRows > 0) {
        sizes.emplace_back(options.meshCols, options.meshRows);
    } else {
        for (const int cols : {16, 24, 32}) {
            sizes.emplace_back(
                cols, std::max(2, static_cast<int>(std::lround(cols * double(height) / width))));
        }
    }
    std::optional<WarpFit> mesh;
    for (const auto& [cols, rows] : sizes) {
        WarpFit f = withCorners(*base, *crop);
        buildMesh(f, *base, samples, cols, rows);
        score(f);
        const bool good = f.rms <= 0.25 && f.maxResidual <= 1.0;
        if (!mesh || f.rms < mesh->rms) {
            mesh = std::move(f);
        }
        if (good) {
            break;
        }
    }
    // Where the homography's residual is the decoding's noise, a mesh does
    // little better: keep the four corners.
    if (!best || mesh->rms < 0.8 * best->rms) {
        best = std::move(mesh);
    }
    outcome.fit = std::move(best);
    return outcome;
}

} // namespace prismeta::calibration
