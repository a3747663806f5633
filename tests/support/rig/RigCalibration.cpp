#include "RigCalibration.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace prismeta::rig {

namespace cal = calibration;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool insideRaster(Vec2 p, const Lens& lens, double margin = 0.0) {
    return p.x >= margin && p.y >= margin && p.x <= lens.width - margin &&
           p.y <= lens.height - margin;
}

} // namespace

RigRun calibrateOnRig(SyntheticRig& rig, const cal::CalibrationOptions& options,
                      const cal::PatternOptions& patternOptions) {
    RigRun run;
    std::vector<std::string> names;
    for (std::size_t p = 0; p < rig.projectors().size(); ++p) {
        const Lens& lens = rig.projectors()[p].device.lens;
        cal::PatternSet set = cal::makePatternSet(lens.width, lens.height, patternOptions);
        std::vector<GreyImage> captures;
        auto start = std::chrono::steady_clock::now();
        for (std::size_t k = 0; k < set.patterns.size(); ++k) {
            captures.push_back(rig.captureOne(p, cal::renderPattern(set, k)));
        }
        run.captureSeconds += secondsSince(start);
        start = std::chrono::steady_clock::now();
        run.decoded.push_back(cal::decodePatterns(set, captures));
        run.decodeSeconds += secondsSince(start);
        run.patterns.push_back(std::move(set));
        std::string name = "P";
        name += std::to_string(p + 1);
        names.push_back(std::move(name));
    }
    std::vector<const cal::DecodedOutput*> decoded;
    for (const cal::DecodedOutput& d : run.decoded) {
        decoded.push_back(&d);
    }
    const auto start = std::chrono::steady_clock::now();
    run.result = cal::calibrate(decoded, names, options);
    run.fitSeconds = secondsSince(start);
    return run;
}

Error warpError(const SyntheticRig& rig, std::size_t p, const cal::WarpFit& fit,
                const cal::CanvasCorners& region) {
    Error e;
    const auto toCamera = cal::canvasToCamera(region);
    if (!toCamera) {
        return e;
    }
    const Lens& lens = rig.projectors()[p].device.lens;
    constexpr int steps = 96;
    double sum = 0.0;
    for (int j = 0; j <= steps; ++j) {
        for (int i = 0; i <= steps; ++i) {
            const Vec2 q{fit.crop.x + fit.crop.width * i / steps,
                         fit.crop.y + fit.crop.height * j / steps};
            const auto truth = rig.canvasTruth(p, *toCamera, q);
            if (!truth || !insideRaster(*truth, lens)) {
                continue;
            }
            const auto fitted = cal::warpCanvasToProjector(fit, q);
            if (!fitted) {
                e.max = std::max(e.max, 1e9);
                continue;
            }
            const double d = std::hypot(fitted->x - truth->x, fitted->y - truth->y);
            sum += d * d;
            e.max = std::max(e.max, d);
            ++e.points;
        }
    }
    e.rms = e.points > 0 ? std::sqrt(sum / e.points) : 0.0;
    return e;
}

double seamError(const SyntheticRig& rig, const cal::CalibrationResult& result) {
    std::vector<cal::WarpFit> fits;
    for (const cal::OutputCalibration& o : result.outputs) {
        fits.push_back(*o.fit);
    }
    // Where projector p draws canvas point q, on the camera's picture.
    const auto seen = [&](std::size_t p, Vec2 q) -> std::optional<Vec2> {
        const auto px = cal::warpCanvasToProjector(fits[p], q);
        if (!px || !insideRaster(*px, rig.projectors()[p].device.lens, 1.0)) {
            return std::nullopt;
        }
        const auto wall = rig.wallLitByProjector(p, *px);
        return wall ? rig.cameraPixel(*wall) : std::nullopt;
    };
    double worst = 0.0;
    constexpr int lines = 16;
    constexpr int along = 512;
    for (int line = 0; line <= lines; ++line) {
        for (int k = 0; k <= along; ++k) {
            const double a = double(line) / lines;
            const double b = double(k) / along;
            for (const Vec2 q : {Vec2{a, b}, Vec2{b, a}}) {
                for (std::size_t i = 0; i < fits.size(); ++i) {
                    const auto ci = seen(i, q);
                    if (!ci) {
                        continue;
                    }
                    for (std::size_t j = i + 1; j < fits.size(); ++j) {
                        if (const auto cj = seen(j, q)) {
                            worst = std::max(worst, std::hypot(ci->x - cj->x, ci->y - cj->y));
                        }
                    }
                }
            }
        }
    }
    return worst;
}

double whiteUnevenness(SyntheticRig& rig, const cal::CalibrationResult& result) {
    std::vector<cal::WarpFit> fits;
    std::vector<cal::Grey16Image> maps;
    for (const cal::OutputCalibration& o : result.outputs) {
        fits.push_back(*o.fit);
        maps.push_back(o.blendMap);
    }
    const std::vector<GreyImage> pictures =
        renderOutputs(rig, fits, maps, [](Vec2) { return 1.0; });
    return whiteUnevenness(rig, pictures, result.region);
}

double whiteUnevenness(SyntheticRig& rig, std::span<const GreyImage> pictures,
                       const cal::CanvasCorners& region) {
    std::vector<const GreyImage*> shown;
    for (const GreyImage& g : pictures) {
        shown.push_back(&g);
    }
    // Projector pixels are squares of even light: a camera pixel, which
    // spans about two of them, integrates them (finely sampled here) and its
    // lens blurs them, as the camera would see the wall.
    const int sampling = rig.camera().supersampling;
    rig.camera().supersampling = 6;
    std::vector<double> light = rig.wallLight(shown);
    rig.camera().supersampling = sampling;
    {
        const int cw = rig.camera().device.lens.width;
        const int ch = rig.camera().device.lens.height;
        cv::Mat m(ch, cw, CV_64F, light.data());
        cv::GaussianBlur(m, m, cv::Size(0, 0), rig.camera().blurSigma);
    }
    const auto toCamera = cal::canvasToCamera(region);
    const int w = rig.camera().device.lens.width;
    const int h = rig.camera().device.lens.height;
    std::vector<double> inside;
    const cal::Homography toCanvas = toCamera->inverse();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Vec2 q = toCanvas.apply({x + 0.5, y + 0.5});
            if (q.x >= 0.02 && q.x <= 0.98 && q.y >= 0.02 && q.y <= 0.98) {
                inside.push_back(light[static_cast<std::size_t>(y) * w + x]);
            }
        }
    }
    if (inside.empty()) {
        return 1.0;
    }
    std::vector<double> sorted = inside;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    double worst = 0.0;
    for (const double v : inside) {
        worst = std::max(worst, std::fabs(v / median - 1.0));
    }
    return worst;
}

} // namespace prismeta::rig
