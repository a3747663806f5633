#pragma once

#include "calibration/CalibrationTypes.h"

#include <cstddef>
#include <string>
#include <vector>

namespace prismeta::calibration {

// What one full-screen pattern shows.
enum class PatternKind {
    white,    // every pixel at full light
    black,    // every pixel off
    half,     // every pixel at half the light (linear), for the camera's response
    grayCode, // one bit of the binary-reflected Gray code of the column or row
    phase,    // a sinusoid in linear light across columns or rows, one of its shifts
};

enum class PatternAxis { columns, rows };

struct Pattern {
    PatternKind kind = PatternKind::white;
    PatternAxis axis = PatternAxis::columns;
    int bit = 0;          // grayCode: the bit, highest first in the set
    bool inverse = false; // grayCode: the bit's inverse (light where the bit is 0)
    int shift = 0;        // phase: which of the steps, 0 to phaseSteps - 1
    std::string name;     // a short file-name stem: "07-col-b08-inv"
};

struct PatternOptions {
    // Phase-shifted sinusoids after the Gray code: sub-pixel positions.
    bool phaseShift = true;
    int phasePeriod = 32; // projector pixels per period
    int phaseSteps = 4;   // shifts per axis
    // The projector's gamma: levels are chosen so that the light (level/255)^gamma
    // is what the pattern means (half, a sinusoid in light).
    double gamma = 2.2;
};

// Every pattern one output shows, in capture order: white, black, half,
// the Gray code of the columns then the rows (each bit followed by its
// inverse, highest bit first), then the phase shifts of columns and rows.
struct PatternSet {
    int width = 0;
    int height = 0;
    int columnBits = 0;
    int rowBits = 0;
    PatternOptions options;
    std::vector<Pattern> patterns;

    std::size_t indexOf(PatternKind kind, PatternAxis axis = PatternAxis::columns,
                        int bitOrShift = 0, bool inverse = false) const;
};

// The most patterns an output may need; a 1920x1080 output takes 55.
inline constexpr std::size_t maxPatternsPerOutput = 56;

// Bits that number every column (or row) of a raster this wide.
int grayCodeBits(int extent);

// The set for a raster of width x height (each 1 to 16384). The phase period
// is kept to at most a quarter of the smaller side.
PatternSet makePatternSet(int width, int height, const PatternOptions& options = {});

// The pattern's picture at the set's size.
GreyImage renderPattern(const PatternSet& set, std::size_t index);

} // namespace prismeta::calibration
