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
        const auto pt = [](Vec2 v) { return Pt{static_cast<float>(v.x), static_cast<float>(v.y)}; };
        OutputWarp warp;
        for (std::size_t c = 0; c < 4; ++c) {
            warp.corners[c] = pt(fit.corners[c]);
        }
        if (std::optional<WarpMesh> mesh = storedMesh(fit)) {
            // The outer corners are the mesh's, as stored.
            const std::size_t last = mesh->points.size() - 1;
            const std::size_t cols = static_cast<std::size_t>(mesh->cols);
            warp.corners = {mesh->points[0], mesh->points[cols], mesh->points[last],
                            mesh->points[last - cols]};
            warp.mesh = std::move(*mesh);
        }
        out.warp = std::move(warp);
        if (k < blendMaps.size()) {
            out.blendMap = blendMaps[k];
        }
    }
    return outputs;
}

bool applyCalibration(ProjectModel& model, const std::vector<std::size_t>& indexes,
                      const CalibrationResult& result, const std::vector<std::string>& blendMaps) {
    const std::vector<OutputConfig> edited =
        calibratedOutputs(model.outputs(), indexes, result, blendMaps);
    return model.editOutputs(edited, OutputPart::crop | OutputPart::warp | OutputPart::blendMap,
                             "Calibrate Outputs");
}

} // namespace prismeta::calibration
