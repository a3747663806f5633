#include "calibration/BlendMaps.h"

#include "calibration/Parallel.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace prismeta::calibration {

namespace {

double edgeWeight(const WarpFit& fit, Vec2 q) {
    const std::optional<Vec2> p = warpCanvasToProjector(fit, q);
    if (!p) {
        return 0.0;
    }
    const double d = std::min({p->x, fit.projectorWidth - p->x, p->y, fit.projectorHeight - p->y});
    if (!(d > 0.0)) {
        return 0.0;
    }
    const double t = d / std::min(fit.projectorWidth, fit.projectorHeight);
    return t * t;
}

} // namespace

double blendShare(std::span<const WarpFit> fits, std::size_t i, Vec2 q) {
    const double own = edgeWeight(fits[i], q);
    if (own <= 0.0) {
        return 0.0;
    }
    double sum = own;
    for (std::size_t j = 0; j < fits.size(); ++j) {
        if (j != i) {
            sum += edgeWeight(fits[j], q);
        }
    }
    return own / sum;
}

Grey16Image blendMap(std::span<const WarpFit> fits, std::span<const double> gains, std::size_t i,
                     int width, int height) {
    Grey16Image map;
    map.width = std::max(1, width);
    map.height = std::max(1, height);
    map.values.assign(static_cast<std::size_t>(map.width) * map.height, 0);
    const WarpFit& own = fits[i];
    const double gain = i < gains.size() ? std::clamp(gains[i], 0.0, 1.0) : 1.0;
    parallelBands(map.height, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            for (int x = 0; x < map.width; ++x) {
                const Vec2 q{own.crop.x + (x + 0.5) / map.width * own.crop.width,
                             own.crop.y + (y + 0.5) / map.height * own.crop.height};
                const double value = blendShare(fits, i, q) * gain;
                map.values[static_cast<std::size_t>(y) * map.width + x] =
                    static_cast<std::uint16_t>(std::lround(std::clamp(value, 0.0, 1.0) * 65535.0));
            }
        }
    });
    return map;
}

std::vector<double> matchBrightness(std::span<const DecodedOutput* const> decoded,
                                    double cameraGamma) {
    const std::size_t n = decoded.size();
    std::vector<double> gains(n, 1.0);
    std::vector<float> linear(256);
    for (int v = 0; v < 256; ++v) {
        linear[static_cast<std::size_t>(v)] = static_cast<float>(std::pow(v / 255.0, cameraGamma));
    }
    // Log-ratios of brightness between overlapping pairs.
    struct Pair {
        std::size_t a;
        std::size_t b;
        double logRatio; // log(bright a / bright b)
    };
    std::vector<Pair> pairs;
    std::vector<float> ratios;
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = a + 1; b < n; ++b) {
            const DecodedOutput& da = *decoded[a];
            const DecodedOutput& db = *decoded[b];
            if (da.width != db.width || da.height != db.height || da.white.empty() ||
                db.white.empty()) {
                continue;
            }
            ratios.clear();
            const std::size_t count = da.x.size();
            for (std::size_t i = 0; i < count; ++i) {
                if (!da.decoded(i) || !db.decoded(i)) {
                    continue;
                }
                const float la = linear[da.white.pixels[i]] - linear[da.black.pixels[i]];
                const float lb = linear[db.white.pixels[i]] - linear[db.black.pixels[i]];
                if (la > 0.0f && lb > 0.0f) {
                    ratios.push_back(la / lb);
                }
            }
            if (ratios.size() < 100) {
                continue;
            }
            const auto mid = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
            std::nth_element(ratios.begin(), mid, ratios.end());
            pairs.push_back({a, b, std::log(*mid)});
        }
    }
    if (pairs.empty()) {
        return gains;
    }
    // log gain a + log bright a = log gain b + log bright b for every pair:
    // Gauss-Seidel on the normal equations converges for these small graphs.
    std::vector<double> logGain(n, 0.0);
    for (int iteration = 0; iteration < 500; ++iteration) {
        for (std::size_t k = 0; k < n; ++k) {
            double sum = 0.0;
            int count = 0;
            for (const Pair& p : pairs) {
                if (p.a == k) {
                    sum += logGain[p.b] - p.logRatio;
                    ++count;
                } else if (p.b == k) {
                    sum += logGain[p.a] + p.logRatio;
                    ++count;
                }
            }
            if (count > 0) {
                logGain[k] = sum / count;
            }
        }
    }
    // Each group of overlapping outputs: its brightest gain becomes 1.
    std::vector<int> group(n, -1);
    int groups = 0;
    for (std::size_t start = 0; start < n; ++start) {
        if (group[start] >= 0) {
            continue;
        }
        std::vector<std::size_t> stack{start};
        group[start] = groups;
        while (!stack.empty()) {
            const std::size_t k = stack.back();
            stack.pop_back();
            for (const Pair& p : pairs) {
                const std::size_t other = p.a == k ? p.b : p.b == k ? p.a : n;
                if (other < n && group[other] < 0) {
                    group[other] = groups;
                    stack.push_back(other);
                }
            }
        }
        ++groups;
    }
    for (int g = 0; g < groups; ++g) {
        double top = -1e300;
        for (std::size_t k = 0; k < n; ++k) {
            if (group[k] == g) {
                top = std::max(top, logGain[k]);
            }
        }
        for (std::size_t k = 0; k < n; ++k) {
            if (group[k] == g) {
                gains[k] = std::exp(logGain[k] - top);
            }
        }
    }
    return gains;
}

} // namespace prismeta::calibration
