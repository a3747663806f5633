#include "calibration/ApplyCalibration.h"

namespace prismeta::calibration {

std::vector<OutputConfig> calibratedOutputs(std::vector<OutputConfig> outputs,
                                            const std::vector<std::size_t>& indexes,
                                            const CalibrationResult& result,
                                            const std::vector<std::string>& blendMaps) {
    for (std::size_t k = 0; k < indexes.size() && k < result.outputs.size(); ++k) {
        if (indexes[k] >= outputs.size() || !result.outputs[k].fit) {
            continue;
        }
        OutputConfig& out = outputs[indexes[k]];
        const WarpFit& fit = *result.outputs[k].fit;
        out.cropX = static_cast<float>(fit.crop.x);
        out.cropY = static_cast<float>(fit.crop.y);
        out.cropWidth = static_cast<float>(fit.crop.width);
        out.cropHeight = static_cast<float>(fit.crop.height);
        (void)blendMaps;
    }
    return outputs;
}

} // namespace prismeta::calibration
