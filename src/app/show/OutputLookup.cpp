#include "app/show/OutputLookup.h"

namespace prismeta {

OutputConfig resolveOutput(const std::vector<OutputConfig>& outputs,
                           const std::optional<Uuid>& outputID) {
    if (outputID) {
        for (const OutputConfig& output : outputs) {
            if (output.id == *outputID) {
                return output;
            }
        }
    }
    OutputConfig fallback;
    fallback.name = "Output";
    return fallback;
}

ContentSize cropContentSize(CanvasSize canvas, const OutputConfig& output) {
    return {canvas.width * static_cast<double>(output.cropWidth),
            canvas.height * static_cast<double>(output.cropHeight)};
}

} // namespace prismeta
