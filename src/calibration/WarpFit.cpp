#include "calibration/WarpFit.h"

#include "calibration/DepartureFit.h"

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

// The smooth mesh over fit.crop, cols x rows cells: the picture lands at
// H((u, v) + Q(u, v)) (SmoothMeshMap), the departures Q fitted by least
// squares to the samples. H starts as the base homography over the crop; the
// first fit's corners then give the H the mesh's outer corners will rebuild,
// under which the departures are fitted again with the corners pinned, so
// that the stored mesh draws exactly the map fitted. Once more without the
// samples that fit leaves farther than `outlier` pixels.
bool fitSmoothMesh(WarpFit& fit, const Homography& base, const std::vector<Sample>& samples,
                   int cols, int rows, double outlier) {
    const double width = fit.projectorWidth;
    const double height = fit.projectorHeight;
    const CanvasRect& crop = fit.crop;
    constexpr std::array<std::array<double, 2>, 4> unit{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    std::array<std::array<double, 2>, 4> quad{};
    for (std::size_t k = 0; k < 4; ++k) {
        const Vec2 p =
            base.apply({crop.x + unit[k][0] * crop.width, crop.y + unit[k][1] * crop.height});
        quad[k] = {p.x / width, p.y / height};
    }
    std::optional<ProjectiveMap> h = ProjectiveMap::fromUnitSquare(quad);
    if (!h) {
        return false;
    }
    // Where each sample lies in the mesh and where it must land (normalized).
    struct Target {
        double u, v, x, y;
    };
    std::vector<Target> targets;
    targets.reserve(samples.size());
    for (const Sample& s : samples) {
        const double u = (s.canvas.x - crop.x) / crop.width;
        const double v = (s.canvas.y - crop.y) / crop.height;
        const Vec2 p = base.apply(s.canvas);
        // Gross decoding errors stay out of the fit.
        if (u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0 &&
            std::hypot(s.projector.x - p.x, s.projector.y - p.y) < 50.0) {
            targets.push_back({u, v, s.projector.x / width, s.projector.y / height});
        }
    }
    const auto departures = [&](const ProjectiveMap& under) {
        std::vector<DepartureSample> out;
        const std::optional<ProjectiveMap> back = under.inverse();
        if (!back) {
            return out;
        }
        out.reserve(targets.size());
        for (const Target& t : targets) {
            if (const auto b = back->apply(t.x, t.y)) {
                out.push_back({t.u, t.v, (*b)[0] - t.u, (*b)[1] - t.v});
            }
        }
        return out;
    };
    const std::array<std::int64_t, 4> cornerNodes{0, cols, std::int64_t{rows + 1} * (cols + 1) - 1,
                                                  std::int64_t{rows} * (cols + 1)};
    {
        const auto q = fitDepartures(cols, rows, departures(*h));
        if (!q) {
            return false;
        }
        std::array<std::array<double, 2>, 4> corners{};
        for (std::size_t k = 0; k < 4; ++k) {
            const auto& d = (*q)[static_cast<std::size_t>(cornerNodes[k])];
            const auto p = h->apply(unit[k][0] + d[0], unit[k][1] + d[1]);
            if (!p) {
                return false;
            }
            corners[k] = *p;
        }
        if (const auto through = ProjectiveMap::fromUnitSquare(corners)) {
            h = through;
        }
    }
    DepartureFitOptions pinned;
    pinned.pinCorners = true;
    fit.meshCols = cols;
    fit.meshRows = rows;
    fit.interpolation = WarpMesh::Interpolation::smooth;
    for (int pass = 0; pass < 2; ++pass) {
        const auto q = fitDepartures(cols, rows, departures(*h), pinned);
        if (!q) {
            return false;
        }
        fit.meshPoints.assign(q->size(), Vec2{});
        for (int r = 0; r <= rows; ++r) {
            for (int c = 0; c <= cols; ++c) {
                const std::size_t i = static_cast<std::size_t>(r) * (cols + 1) + c;
                const auto p = h->apply(static_cast<double>(c) / cols + (*q)[i][0],
                                        static_cast<double>(r) / rows + (*q)[i][1]);
                if (!p || !std::isfinite((*p)[0]) || !std::isfinite((*p)[1])) {
                    return false;
                }
                fit.meshPoints[i] = {(*p)[0], (*p)[1]};
            }
        }
        if (!prepareMeshMap(fit)) {
            return false;
        }
        if (pass == 0) {
            std::erase_if(targets, [&](const Target& t) {
                const auto p = fit.smoothMap->map(t.u, t.v);
                return !p || !(std::hypot((p->x - t.x) * width, (p->y - t.y) * height) <= outlier);
            });
            if (targets.empty()) {
                return false;
            }
        }
    }
    fit.corners = {fit.meshPoints[0], fit.meshPoints[static_cast<std::size_t>(cols)],
                   fit.meshPoints.back(),
                   fit.meshPoints[static_cast<std::size_t>(rows) * (cols + 1)]};
    return true;
}

} // namespace

std::optional<WarpMesh> storedMesh(const WarpFit& fit) {
    if (fit.meshCols <= 0 || fit.meshRows <= 0 ||
        fit.meshPoints.size() != static_cast<std::size_t>(fit.meshCols + 1) * (fit.meshRows + 1)) {
        return std::nullopt;
    }
    WarpMesh mesh;
    mesh.cols = fit.meshCols;
    mesh.rows = fit.meshRows;
    mesh.interpolation = fit.interpolation;
    mesh.points.reserve(fit.meshPoints.size());
    for (const Vec2& p : fit.meshPoints) {
        mesh.points.push_back(Pt{static_cast<float>(p.x), static_cast<float>(p.y)});
    }
    return mesh;
}

bool prepareMeshMap(WarpFit& fit) {
    fit.smoothMap.reset();
    if (fit.interpolation != WarpMesh::Interpolation::smooth) {
        return true;
    }
    const std::optional<WarpMesh> mesh = storedMesh(fit);
    std::optional<SmoothMeshMap> map = mesh ? SmoothMeshMap::from(*mesh) : std::nullopt;
    if (!map) {
        return false;
    }
    fit.smoothMap = std::make_shared<const SmoothMeshMap>(std::move(*map));
    return true;
}

std::optional<Vec2> warpCanvasToProjector(const WarpFit& fit, Vec2 q) {
    const double u = (q.x - fit.crop.x) / fit.crop.width;
    const double v = (q.y - fit.crop.y) / fit.crop.height;
    if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0)) {
        return std::nullopt;
    }
    if (fit.interpolation == WarpMesh::Interpolation::smooth && fit.meshCols > 0) {
        // Drawn as one map through the stored points.
        std::optional<SmoothMeshMap> made;
        const SmoothMeshMap* map = fit.smoothMap.get();
        if (map == nullptr) {
            const std::optional<WarpMesh> mesh = storedMesh(fit);
            made = mesh ? SmoothMeshMap::from(*mesh) : std::nullopt;
            if (!made) {
                return std::nullopt;
            }
            map = &*made;
        }
        const std::optional<Pt> p = map->map(u, v);
        if (!p) {
            return std::nullopt;
        }
        return Vec2{p->x * fit.projectorWidth, p->y * fit.projectorHeight};
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
        if (!fitSmoothMesh(f, *base, samples, cols, rows, options.outlierDistance)) {
            continue;
        }
        score(f);
        const bool good = f.rms <= 0.25 && f.maxResidual <= 1.0;
        if (!mesh || f.rms < mesh->rms) {
            mesh = std::move(f);
        }
        if (good) {
            break;
        }
    }
    if (!mesh && !best) {
        outcome.problem = "too few decoded points to fit a mesh";
        return outcome;
    }
    // Where the homography's residual is the decoding's noise, a mesh does
    // little better: keep the four corners.
    if (!best || (mesh && mesh->rms < 0.8 * best->rms)) {
        best = std::move(mesh);
    }
    outcome.fit = std::move(best);
    return outcome;
}

} // namespace prismeta::calibration
