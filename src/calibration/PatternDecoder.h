#pragma once

#include "calibration/CalibrationTypes.h"
#include "calibration/PatternSet.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace prismeta::calibration {

struct DecodeOptions {
    // White minus black, averaged over 5 x 5 camera pixels, at least this
    // many levels: the camera pixel is lit by the projector.
    int minContrast = 20;
    // A white-frame level at or above this: the camera pixel is saturated.
    int saturationLevel = 254;
    // The sinusoid's amplitude, linearised, at least this share of half the
    // white-to-black difference.
    double minModulation = 0.2;
    // Phase and Gray code may disagree by at most this share of a period.
    double maxMismatch = 0.25;
    // Worker threads (0: every core).
    int threads = 0;
};

// What one output's patterns tell about every camera pixel.
struct DecodedOutput {
    int width = 0; // the camera picture's size
    int height = 0;
    int projectorWidth = 0;
    int projectorHeight = 0;
    // The projector position each camera pixel's centre sees (pixel edges on
    // whole numbers, so 0..projectorWidth), or NaN where nothing is decoded:
    // contrast too low, the camera saturated, or the code inconsistent.
    std::vector<float> x;
    std::vector<float> y;
    // 1 where the projector's white lights the camera pixel.
    std::vector<std::uint8_t> lit;
    std::int64_t litPixels = 0;
    std::int64_t decodedPixels = 0;
    std::int64_t saturatedPixels = 0;
    // Median white-minus-black of the lit pixels, in camera levels.
    double medianContrast = 0.0;
    // The camera's response taken as level = 255 * light^(1/gamma): the
    // exponent for which the half-light frame lies midway between black and
    // white once linearised, the median over the lit pixels (1 without a
    // half-light frame).
    double cameraGamma = 1.0;
    // Kept for brightness matching.
    GreyImage white;
    GreyImage black;
    // Set when the captures cannot be decoded at all (wrong count or sizes).
    std::optional<std::string> problem;

    double decodedShare() const {
        return litPixels > 0 ? static_cast<double>(decodedPixels) / static_cast<double>(litPixels)
                             : 0.0;
    }
    bool decoded(std::size_t i) const { return x[i] == x[i]; }
};

// Decodes one output's captures, one per pattern of the set in its order.
// Every Gray-code bit is decided by the pattern against its inverse; the
// phase shifts, once the camera's response is linearised, give the position
// within a period and the Gray code the period.
DecodedOutput decodePatterns(const PatternSet& set, std::span<const GreyImage> captures,
                             const DecodeOptions& options = {});

// The camera's response exponent from white, black and half-light captures
// (see DecodedOutput::cameraGamma); 1 when too few pixels tell.
double estimateCameraGamma(const GreyImage& white, const GreyImage& black, const GreyImage& half,
                           int minContrast, int saturationLevel);

} // namespace prismeta::calibration
