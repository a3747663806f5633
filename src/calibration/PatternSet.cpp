#include "calibration/PatternSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace prismeta::calibration {

namespace {

std::uint8_t levelForLight(double light, double gamma) {
    light = std::clamp(light, 0.0, 1.0);
    return static_cast<std::uint8_t>(std::lround(255.0 * std::pow(light, 1.0 / gamma)));
}

std::string stem(std::size_t index, const char* what) {
    char text[48];
    std::snprintf(text, sizeof text, "%02zu-%s", index, what);
    return text;
}

} // namespace

int grayCodeBits(int extent) {
    int bits = 1;
    while ((1 << bits) < extent) {
        ++bits;
    }
    return bits;
}

std::size_t PatternSet::indexOf(PatternKind kind, PatternAxis axis, int bitOrShift,
                                bool inverse) const {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const Pattern& p = patterns[i];
        if (p.kind != kind) {
            continue;
        }
        if (kind == PatternKind::grayCode &&
            (p.axis != axis || p.bit != bitOrShift || p.inverse != inverse)) {
            continue;
        }
        if (kind == PatternKind::phase && (p.axis != axis || p.shift != bitOrShift)) {
            continue;
        }
        return i;
    }
    return patterns.size();
}

PatternSet makePatternSet(int width, int height, const PatternOptions& options) {
    PatternSet set;
    set.width = std::clamp(width, 1, 16384);
    set.height = std::clamp(height, 1, 16384);
    set.options = options;
    set.options.phaseSteps = std::clamp(options.phaseSteps, 3, 8);
    set.options.phasePeriod =
        std::clamp(options.phasePeriod, 8, std::max(8, std::min(set.width, set.height) / 4));
    set.options.gamma = std::isfinite(options.gamma) ? std::clamp(options.gamma, 1.0, 3.0) : 2.2;
    set.columnBits = grayCodeBits(set.width);
    set.rowBits = grayCodeBits(set.height);

    const auto add = [&set](PatternKind kind, PatternAxis axis, int bit, bool inverse, int shift,
                            const char* what) {
        Pattern p;
        p.kind = kind;
        p.axis = axis;
        p.bit = bit;
        p.inverse = inverse;
        p.shift = shift;
        p.name = stem(set.patterns.size(), what);
        set.patterns.push_back(std::move(p));
    };
    add(PatternKind::white, PatternAxis::columns, 0, false, 0, "white");
    add(PatternKind::black, PatternAxis::columns, 0, false, 0, "black");
    add(PatternKind::half, PatternAxis::columns, 0, false, 0, "half");
    for (const PatternAxis axis : {PatternAxis::columns, PatternAxis::rows}) {
        const int bits = axis == PatternAxis::columns ? set.columnBits : set.rowBits;
        const char* tag = axis == PatternAxis::columns ? "col" : "row";
        for (int bit = bits - 1; bit >= 0; --bit) {
            for (const bool inverse : {false, true}) {
                char what[32];
                std::snprintf(what, sizeof what, "%s-b%02d%s", tag, bit, inverse ? "-inv" : "");
                add(PatternKind::grayCode, axis, bit, inverse, 0, what);
            }
        }
    }
    if (set.options.phaseShift) {
        for (const PatternAxis axis : {PatternAxis::columns, PatternAxis::rows}) {
            for (int shift = 0; shift < set.options.phaseSteps; ++shift) {
                char what[32];
                std::snprintf(what, sizeof what, "%s-phase%d",
                              axis == PatternAxis::columns ? "col" : "row", shift);
                add(PatternKind::phase, axis, 0, false, shift, what);
            }
        }
    }
    return set;
}

GreyImage renderPattern(const PatternSet& set, std::size_t index) {
    GreyImage image(set.width, set.height);
    if (index >= set.patterns.size()) {
        return image;
    }
    const Pattern& p = set.patterns[index];
    const double gamma = set.options.gamma;
    switch (p.kind) {
    case PatternKind::white:
        std::fill(image.pixels.begin(), image.pixels.end(), std::uint8_t{255});
        return image;
    case PatternKind::black:
        return image;
    case PatternKind::half:
        std::fill(image.pixels.begin(), image.pixels.end(), levelForLight(0.5, gamma));
        return image;
    default:
        break;
    }
    // One line of levels along the axis, then copied across.
    const bool columns = p.axis == PatternAxis::columns;
    const int extent = columns ? set.width : set.height;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(extent));
    for (int k = 0; k < extent; ++k) {
        std::uint8_t level = 0;
        if (p.kind == PatternKind::grayCode) {
            const unsigned gray = static_cast<unsigned>(k) ^ (static_cast<unsigned>(k) >> 1);
            const bool on = ((gray >> p.bit) & 1u) != 0;
            level = on != p.inverse ? 255 : 0;
        } else {
            // Pixel k's centre is at k + 0.5 along the axis.
            const double period = set.options.phasePeriod;
            const double angle = 2.0 * std::numbers::pi * ((k + 0.5) / period) -
                                 2.0 * std::numbers::pi * p.shift / set.options.phaseSteps;
            level = levelForLight(0.5 + 0.5 * std::cos(angle), gamma);
        }
        line[static_cast<std::size_t>(k)] = level;
    }
    for (int y = 0; y < set.height; ++y) {
        std::uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * set.width;
        if (columns) {
            std::copy(line.begin(), line.end(), row);
        } else {
            std::fill(row, row + set.width, line[static_cast<std::size_t>(y)]);
        }
    }
    return image;
}

} // namespace prismeta::calibration
