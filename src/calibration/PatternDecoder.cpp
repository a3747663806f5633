#include "calibration/PatternDecoder.h"

#include "calibration/Parallel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace prismeta::calibration {

namespace {

constexpr float none = std::numeric_limits<float>::quiet_NaN();

// White minus black summed over the 5 x 5 pixels around each pixel (the
// count is 25 inside, fewer at the edges; the mean is returned).
std::vector<float> smoothedContrast(const GreyImage& white, const GreyImage& black) {
    const int w = white.width;
    const int h = white.height;
    const std::size_t stride = static_cast<std::size_t>(w) + 1;
    std::vector<std::int64_t> sum(stride * (static_cast<std::size_t>(h) + 1), 0);
    for (int y = 0; y < h; ++y) {
        std::int64_t rowSum = 0;
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            rowSum += int{white.pixels[i]} - int{black.pixels[i]};
            sum[(y + 1) * stride + x + 1] = sum[y * stride + x + 1] + rowSum;
        }
    }
    std::vector<float> out(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const int y0 = std::max(0, y - 2);
        const int y1 = std::min(h, y + 3);
        for (int x = 0; x < w; ++x) {
            const int x0 = std::max(0, x - 2);
            const int x1 = std::min(w, x + 3);
            const std::int64_t s = sum[y1 * stride + x1] - sum[y0 * stride + x1] -
                                   sum[y1 * stride + x0] + sum[y0 * stride + x0];
            out[static_cast<std::size_t>(y) * w + x] =
                static_cast<float>(s) / static_cast<float>((x1 - x0) * (y1 - y0));
        }
    }
    return out;
}

double ratioMedian(const std::vector<std::array<double, 3>>& samples, double gamma,
                   std::vector<double>& scratch) {
    scratch.clear();
    for (const auto& [b, h, w] : samples) {
        const double lb = std::pow(b, gamma);
        scratch.push_back((std::pow(h, gamma) - lb) / (std::pow(w, gamma) - lb));
    }
    std::nth_element(scratch.begin(), scratch.begin() + scratch.size() / 2, scratch.end());
    return scratch[scratch.size() / 2];
}

struct AxisPlan {
    std::vector<std::size_t> on;  // the bit's capture, highest bit first
    std::vector<std::size_t> off; // its inverse's
    std::vector<std::size_t> phase;
    int extent = 0;
};

AxisPlan planAxis(const PatternSet& set, PatternAxis axis) {
    AxisPlan plan;
    const int bits = axis == PatternAxis::columns ? set.columnBits : set.rowBits;
    plan.extent = axis == PatternAxis::columns ? set.width : set.height;
    for (int bit = bits - 1; bit >= 0; --bit) {
        plan.on.push_back(set.indexOf(PatternKind::grayCode, axis, bit, false));
        plan.off.push_back(set.indexOf(PatternKind::grayCode, axis, bit, true));
    }
    if (set.options.phaseShift) {
        for (int s = 0; s < set.options.phaseSteps; ++s) {
            plan.phase.push_back(set.indexOf(PatternKind::phase, axis, s));
        }
    }
    return plan;
}

} // namespace

double estimateCameraGamma(const GreyImage& white, const GreyImage& black, const GreyImage& half,
                           int minContrast, int saturationLevel) {
    std::vector<std::array<double, 3>> samples;
    const std::size_t count = white.pixels.size();
    // A spread of pixels is plenty for one exponent.
    const std::size_t step = std::max<std::size_t>(1, count / 200000);
    for (std::size_t i = 0; i < count; i += step) {
        const int w = white.pixels[i];
        const int b = black.pixels[i];
        if (w - b < 2 * minContrast || w >= saturationLevel) {
            continue;
        }
        samples.push_back({b / 255.0, half.pixels[i] / 255.0, w / 255.0});
    }
    if (samples.size() < 100) {
        return 1.0;
    }
    // The linearised half frame's share falls as the exponent grows.
    std::vector<double> scratch;
    double lo = 0.3;
    double hi = 5.0;
    if (ratioMedian(samples, lo, scratch) < 0.5) {
        return lo;
    }
    if (ratioMedian(samples, hi, scratch) > 0.5) {
        return hi;
    }
    for (int i = 0; i < 40; ++i) {
        const double mid = 0.5 * (lo + hi);
        (ratioMedian(samples, mid, scratch) > 0.5 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

DecodedOutput decodePatterns(const PatternSet& set, std::span<const GreyImage> captures,
                             const DecodeOptions& options) {
    DecodedOutput out;
    out.projectorWidth = set.width;
    out.projectorHeight = set.height;
    if (captures.size() != set.patterns.size() || captures.empty()) {
        out.problem = "expected " + std::to_string(set.patterns.size()) + " camera pictures, got " +
                      std::to_string(captures.size());
        return out;
    }
    const int w = captures[0].width;
    const int h = captures[0].height;
    for (const GreyImage& image : captures) {
        if (image.width != w || image.height != h || image.empty() ||
            image.pixels.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {
            out.problem = "the camera pictures differ in size";
            return out;
        }
    }
    out.width = w;
    out.height = h;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    out.x.assign(count, none);
    out.y.assign(count, none);
    out.lit.assign(count, 0);
    const GreyImage& white = captures[set.indexOf(PatternKind::white)];
    const GreyImage& black = captures[set.indexOf(PatternKind::black)];
    const std::size_t halfIndex = set.indexOf(PatternKind::half);
    out.cameraGamma = halfIndex < captures.size()
                          ? estimateCameraGamma(white, black, captures[halfIndex],
                                                options.minContrast, options.saturationLevel)
                          : 1.0;
    std::array<float, 256> linear{};
    for (int v = 0; v < 256; ++v) {
        linear[static_cast<std::size_t>(v)] =
            static_cast<float>(std::pow(v / 255.0, out.cameraGamma));
    }

    const std::vector<float> contrast = smoothedContrast(white, black);
    const AxisPlan axes[2] = {planAxis(set, PatternAxis::columns),
                              planAxis(set, PatternAxis::rows)};
    const int steps = set.options.phaseSteps;
    std::array<float, 8> cosines{};
    std::array<float, 8> sines{};
    for (int s = 0; s < steps; ++s) {
        cosines[static_cast<std::size_t>(s)] =
            static_cast<float>(std::cos(2.0 * std::numbers::pi * s / steps));
        sines[static_cast<std::size_t>(s)] =
            static_cast<float>(std::sin(2.0 * std::numbers::pi * s / steps));
    }
    const double period = set.options.phasePeriod;
    const float minContrast = static_cast<float>(options.minContrast);

    struct Counts {
        std::int64_t lit = 0;
        std::int64_t decoded = 0;
        std::int64_t saturated = 0;
    };
    std::vector<Counts> bandCounts(static_cast<std::size_t>(h));

    // One axis of one pixel: the position, or NaN.
    const auto decodeAxis = [&](const AxisPlan& plan, std::size_t i, float fullLight) -> float {
        unsigned bit = 0;
        unsigned value = 0;
        for (std::size_t b = 0; b < plan.on.size(); ++b) {
            const bool on = captures[plan.on[b]].pixels[i] > captures[plan.off[b]].pixels[i];
            bit ^= on ? 1u : 0u; // Gray to binary: each bit is the running XOR
            value = (value << 1) | bit;
        }
        if (value >= static_cast<unsigned>(plan.extent)) {
            return none;
        }
        const double centre = value + 0.5;
        if (plan.phase.empty()) {
            return static_cast<float>(centre);
        }
        float c = 0.0f;
        float s = 0.0f;
        for (std::size_t k = 0; k < plan.phase.size(); ++k) {
            const float v = linear[captures[plan.phase[k]].pixels[i]];
            c += v * cosines[k];
            s += v * sines[k];
        }
        const float amplitude =
            2.0f * std::sqrt(c * c + s * s) / static_cast<float>(plan.phase.size());
        if (amplitude < static_cast<float>(options.minModulation) * 0.5f * fullLight) {
            return none;
        }
        double within = std::atan2(s, c) / (2.0 * std::numbers::pi) * period;
        if (within < 0.0) {
            within += period;
        }
        const double x = within + std::round((centre - within) / period) * period;
        if (std::fabs(x - centre) > options.maxMismatch * period || x < 0.0 || x > plan.extent) {
            return none;
        }
        return static_cast<float>(x);
    };

    parallelBands(
        h,
        [&](int begin, int end) {
            for (int row = begin; row < end; ++row) {
                Counts& counts = bandCounts[static_cast<std::size_t>(row)];
                for (int col = 0; col < w; ++col) {
                    const std::size_t i = static_cast<std::size_t>(row) * w + col;
                    if (!(contrast[i] >= minContrast)) {
                        continue;
                    }
                    out.lit[i] = 1;
                    ++counts.lit;
                    if (white.pixels[i] >= options.saturationLevel) {
                        ++counts.saturated;
                        continue;
                    }
                    const float fullLight = linear[white.pixels[i]] - linear[black.pixels[i]];
                    if (!(fullLight > 0.0f)) {
                        continue;
                    }
                    const float px = decodeAxis(axes[0], i, fullLight);
                    if (px != px) {
                        continue;
                    }
                    const float py = decodeAxis(axes[1], i, fullLight);
                    if (py != py) {
                        continue;
                    }
                    out.x[i] = px;
                    out.y[i] = py;
                    ++counts.decoded;
                }
            }
        },
        options.threads);
    for (const Counts& c : bandCounts) {
        out.litPixels += c.lit;
        out.decodedPixels += c.decoded;
        out.saturatedPixels += c.saturated;
    }
    std::vector<float> litContrast;
    litContrast.reserve(static_cast<std::size_t>(out.litPixels));
    for (std::size_t i = 0; i < count; ++i) {
        if (out.lit[i] != 0) {
            litContrast.push_back(float(white.pixels[i]) - float(black.pixels[i]));
        }
    }
    if (!litContrast.empty()) {
        std::nth_element(litContrast.begin(), litContrast.begin() + litContrast.size() / 2,
                         litContrast.end());
        out.medianContrast = litContrast[litContrast.size() / 2];
    }
    out.white = white;
    out.black = black;
    return out;
}

} // namespace prismeta::calibration
