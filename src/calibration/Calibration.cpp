#include "calibration/Calibration.h"

#include "calibration/BlendMaps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace prismeta::calibration {

namespace {

std::string percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", share * 100.0);
    return text;
}

std::string pixels(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f px", value);
    return text;
}

std::string outputPrefix(const std::string& name) {
    return "Output '" + name + "': ";
}

// Why a decoded output cannot be used, if it cannot.
std::optional<std::string> decodeFailure(const DecodedOutput& d,
                                         const CalibrationOptions& options) {
    if (d.problem) {
        return *d.problem;
    }
    const std::int64_t pixelCount = std::int64_t{d.width} * d.height;
    if (d.litPixels < std::max<std::int64_t>(64, pixelCount / 5000)) {
        return std::string("not seen by the camera (its white lights no part of the picture)");
    }
    if (d.saturatedPixels * 10 > d.litPixels) {
        return "the camera picture is saturated (" +
               percent(static_cast<double>(d.saturatedPixels) / d.litPixels) +
               " of its light at full level): lower the exposure";
    }
    if (d.decodedShare() < options.minDecodedShare) {
        if (d.medianContrast < 40.0) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "the camera picture is too dark (white and black differ by %.0f levels): "
                          "raise the exposure or darken the room",
                          d.medianContrast);
            return std::string(text);
        }
        return "only " + percent(d.decodedShare()) + " of the lit area decoded (at least " +
               percent(options.minDecodedShare) + " needed)";
    }
    return std::nullopt;
}

} // namespace

bool CalibrationResult::applicable() const {
    if (!problems.empty() || outputs.empty()) {
        return false;
    }
    return std::all_of(outputs.begin(), outputs.end(),
                       [](const OutputCalibration& o) { return o.fit && !o.failure; });
}

std::vector<std::string> CalibrationResult::failureLines() const {
    std::vector<std::string> lines = problems;
    for (const OutputCalibration& o : outputs) {
        if (o.failure) {
            lines.push_back(*o.failure);
        }
    }
    return lines;
}

std::vector<std::uint8_t> litUnion(std::span<const DecodedOutput* const> decoded) {
    std::vector<std::uint8_t> covered;
    for (const DecodedOutput* d : decoded) {
        if (d->lit.empty()) {
            continue;
        }
        if (covered.empty()) {
            covered = d->lit;
        } else if (covered.size() == d->lit.size()) {
            for (std::size_t i = 0; i < covered.size(); ++i) {
                covered[i] |= d->lit[i];
            }
        }
    }
    return covered;
}

CalibrationResult calibrate(std::span<const DecodedOutput* const> decoded,
                            std::span<const std::string> names, const CalibrationOptions& options) {
    CalibrationResult result;
    result.outputs.resize(decoded.size());
    std::vector<double> gammas;
    const DecodedOutput* any = nullptr;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        OutputCalibration& out = result.outputs[i];
        out.name = i < names.size() ? names[i] : "Output " + std::to_string(i + 1);
        const DecodedOutput& d = *decoded[i];
        out.decodedShare = d.decodedShare();
        if (const auto why = decodeFailure(d, options)) {
            out.failure = outputPrefix(out.name) + *why;
            continue;
        }
        if (any && (any->width != d.width || any->height != d.height)) {
            out.failure =
                outputPrefix(out.name) + "its camera pictures differ in size from the others'";
            continue;
        }
        any = &d;
        gammas.push_back(d.cameraGamma);
    }
    if (!gammas.empty()) {
        std::nth_element(gammas.begin(), gammas.begin() + gammas.size() / 2, gammas.end());
        result.cameraGamma = gammas[gammas.size() / 2];
    }
    if (any == nullptr) {
        return result;
    }

    // Where the canvas lies in the camera picture.
    if (options.region) {
        result.region = *options.region;
    } else {
        std::vector<const DecodedOutput*> usable;
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            if (!result.outputs[i].failure) {
                usable.push_back(decoded[i]);
            }
        }
        const auto rect =
            largestCanvasRectangle(litUnion(usable), any->width, any->height, options.canvasAspect);
        if (!rect) {
            result.problems.push_back(
                "no part of the camera picture is lit to place the canvas on");
            return result;
        }
        result.region = *rect;
    }
    result.haveRegion = true;
    const std::optional<Homography> toCamera = canvasToCamera(result.region);
    if (!toCamera) {
        result.problems.push_back("the canvas corners do not form a quadrilateral");
        return result;
    }

    for (std::size_t i = 0; i < decoded.size(); ++i) {
        OutputCalibration& out = result.outputs[i];
        if (out.failure) {
            continue;
        }
        WarpFitOutcome outcome = fitWarp(*decoded[i], *toCamera, options.warp);
        if (!outcome.fit) {
            out.failure = outputPrefix(out.name) + outcome.problem;
            continue;
        }
        out.fit = std::move(outcome.fit);
        if (out.fit->rms > options.maxResidual || out.fit->maxResidual > options.maxResidual) {
            out.failure = outputPrefix(out.name) + "the fit's residual is " + pixels(out.fit->rms) +
                          " RMS, " + pixels(out.fit->maxResidual) + " at most (at most " +
                          pixels(options.maxResidual) + " allowed)";
        }
    }
    if (!result.applicable()) {
        return result;
    }

    std::vector<WarpFit> fits;
    for (const OutputCalibration& o : result.outputs) {
        fits.push_back(*o.fit);
    }
    std::vector<double> gains(decoded.size(), 1.0);
    if (options.matchBrightness) {
        gains = matchBrightness(decoded, result.cameraGamma);
    }
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        OutputCalibration& out = result.outputs[i];
        out.gain = gains[i];
        const double scale = std::clamp(options.blendMapScale, 0.01, 1.0);
        out.blendMap =
            blendMap(fits, gains, i,
                     std::max(1, static_cast<int>(std::lround(fits[i].projectorWidth * scale))),
                     std::max(1, static_cast<int>(std::lround(fits[i].projectorHeight * scale))));
    }
    return result;
}

std::string summaryLine(const OutputCalibration& output) {
    std::string line = outputPrefix(output.name) + percent(output.decodedShare) + " decoded";
    if (output.fit) {
        line += ", residual " + pixels(output.fit->rms) + " RMS, " +
                pixels(output.fit->maxResidual) + " max";
        if (output.fit->meshCols > 0) {
            line += ", mesh " + std::to_string(output.fit->meshCols) + "x" +
                    std::to_string(output.fit->meshRows);
        }
        if (output.gain < 0.9995) {
            char text[32];
            std::snprintf(text, sizeof text, ", gain %.3f", output.gain);
            line += text;
        }
    }
    return line;
}

} // namespace prismeta::calibration
