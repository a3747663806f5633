#include "core/OutputConfig.h"

namespace prismeta {

OutputConfig::OutputConfig() : id(Uuid::random()) {}

OutputConfig::OutputConfig(const Uuid& outputID) : id(outputID) {}

std::string_view outputPresetLabel(OutputPreset preset) {
    switch (preset) {
    case OutputPreset::full:
        return "Full Canvas";
    case OutputPreset::leftHalf:
        return "Left Half";
    case OutputPreset::rightHalf:
        return "Right Half";
    case OutputPreset::topHalf:
        return "Top Half";
    case OutputPreset::bottomHalf:
        return "Bottom Half";
    }
    return "Full Canvas";
}

std::string_view outputPresetName(OutputPreset preset) {
    return preset == OutputPreset::full ? "Full" : outputPresetLabel(preset);
}

OutputConfig makeOutput(OutputPreset preset) {
    OutputConfig output;
    output.name = std::string(outputPresetName(preset));
    switch (preset) {
    case OutputPreset::full:
        break;
    case OutputPreset::leftHalf:
        output.cropWidth = 0.5f;
        break;
    case OutputPreset::rightHalf:
        output.cropX = 0.5f;
        output.cropWidth = 0.5f;
        break;
    case OutputPreset::topHalf:
        output.cropHeight = 0.5f;
        break;
    case OutputPreset::bottomHalf:
        output.cropY = 0.5f;
        output.cropHeight = 0.5f;
        break;
    }
    return output;
}

} // namespace prismeta
