#pragma once

#include "core/OutputConfig.h"
#include "core/ProjectModel.h"
#include "core/Uuid.h"

#include <optional>
#include <vector>

namespace prismeta {

// The output an output window shows: the first output with the window's id,
// or, when the id is absent or no longer in the list, a fallback made on the
// spot (a new id, "Output", the whole canvas, no blends) that is never added
// to the model.
OutputConfig resolveOutput(const std::vector<OutputConfig>& outputs,
                           const std::optional<Uuid>& outputID);

// The crop's size in canvas pixels: the canvas size times the crop's width
// and height, each widened to double before the product.
struct ContentSize {
    double width = 0.0;
    double height = 0.0;
};
ContentSize cropContentSize(CanvasSize canvas, const OutputConfig& output);

} // namespace prismeta
