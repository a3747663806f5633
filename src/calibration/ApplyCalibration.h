#pragma once

#include "calibration/Calibration.h"
#include "core/OutputConfig.h"
#include "core/OutputParts.h"
#include "core/ProjectModel.h"

#include <string>
#include <vector>

namespace prismeta::calibration {

// The outputs with a calibration applied: result.outputs[k] goes to
// outputs[indexes[k]], which gets the crop the projector reaches, the
// fitted warp and the blend map at blendMaps[k]. Other outputs are kept as
// they are. The result must be applicable().
std::vector<OutputConfig> calibratedOutputs(std::vector<OutputConfig> outputs,
                                            const std::vector<std::size_t>& indexes,
                                            const CalibrationResult& result,
                                            const std::vector<std::string>& blendMaps);

// Applies them to the model as one undo step ("Calibrate Outputs"): crops,
// warps and blend maps of the calibrated outputs. False when nothing changed.
bool applyCalibration(ProjectModel& model, const std::vector<std::size_t>& indexes,
                      const CalibrationResult& result, const std::vector<std::string>& blendMaps);

} // namespace prismeta::calibration
