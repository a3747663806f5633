#pragma once

#include "calibration/PatternSet.h"
#include "core/Result.h"

#include <string>
#include <vector>

namespace prismeta::calibration {

// One output's entry in a folder of patterns (patterns.json): which output,
// its raster, the pattern options, and the file names in capture order.
struct ManifestOutput {
    std::string id;
    std::string name;
    int width = 0;
    int height = 0;
    PatternOptions options;
    std::vector<std::string> images;

    PatternSet patternSet() const { return makePatternSet(width, height, options); }
};

// "out2-07-col-b08-inv.png": the file name of pattern k of the output at
// 0-based position `index` in the manifest.
std::string patternFileName(std::size_t index, const Pattern& pattern);

// {"outputs": [{"id", "name", "width", "height", "images": [...],
//   "patterns": {"phasePeriod", "phaseSteps", "gamma"}}]}
std::string writeManifest(const std::vector<ManifestOutput>& outputs);

// Reads the text of a manifest. A file name that is not a plain name in the
// folder (a path, "..", empty) or an image count that does not match the
// output's pattern set is refused.
Result<std::vector<ManifestOutput>> readManifest(const std::string& text);

} // namespace prismeta::calibration
