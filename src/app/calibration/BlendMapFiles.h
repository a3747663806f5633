#pragma once

#include "calibration/Calibration.h"
#include "core/Result.h"

#include <QDateTime>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// Where the blend maps of a calibration applied at `when` go: a folder
// beside the project file ("show.prismeta.json" gets
// "show-calibration/20250101-120000/"), or, for a project never saved, one
// under `fallback` (the application's data folder). Every calibration gets a
// folder of its own, so that undoing one brings back maps that still hold
// what they held.
std::filesystem::path blendMapFolder(const std::optional<std::filesystem::path>& projectFile,
                                     const std::filesystem::path& fallback, const QDateTime& when);

// Writes result.outputs[k]'s map as "blend-<number>-<name>.png" (16-bit
// greyscale) for every k, numbers[k] the output's place in the project from
// 1; the paths in that order. Nothing is left behind on failure.
Result<std::vector<std::string>> writeBlendMaps(const std::filesystem::path& folder,
                                                const calibration::CalibrationResult& result,
                                                const std::vector<std::size_t>& numbers);

} // namespace prismeta
