#pragma once

#include "core/BlendCurve.h"
#include "core/Mask.h"
#include "core/OutputDisplay.h"
#include "core/OutputWarp.h"
#include "core/Uuid.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// One projector output: the crop rectangle of the canvas it shows (canvas
// coordinates) and the widths of its black edge-blend ramps (fractions of the
// output's own width and height; a ramp is drawn only above 0), with the
// ramps' curve, gamma and black-level lift (BlendCurve.h), and, once its
// window has been placed, the screen that window goes to. A projector that is
// not square to the wall gets a warp of the finished crop onto its raster and
// a blend map.
struct OutputConfig {
    Uuid id;
    std::string name = "Output";
    float cropX = 0.0f;
    float cropY = 0.0f;
    float cropWidth = 1.0f;
    float cropHeight = 1.0f;
    float blendLeft = 0.0f;
    float blendRight = 0.0f;
    float blendTop = 0.0f;
    float blendBottom = 0.0f;

    // The ramps' shape on the projector. Any value may be stored; everything
    // that uses them takes them through the *InRange functions.
    float blendCurve = defaultBlendCurve;
    float blendGamma = defaultBlendGamma;
    BlackLevel blackLevel;
    // Absent until the output's window has been placed.
    std::optional<OutputDisplay> display;
    // In canvas coordinates, applied to the finished picture after the ramps
    // and the lift: what they mask out gets no light at all.
    std::vector<Mask> masks;
    // The machine that shows it when the show runs on several; absent: the
    // leading machine.
    std::optional<std::string> node;
    // Where the finished crop lands on the projector's raster; absent: fitted
    // into it with its aspect kept, centred (geometry/UnwarpedPlacement.h).
    std::optional<OutputWarp> warp;
    // A greyscale image over the crop: the fraction of the light this
    // projector gives at each point (linear light), drawn with the ramps.
    std::optional<std::string> blendMap;

    // An output with a new random id and every default.
    OutputConfig();
    explicit OutputConfig(const Uuid& outputID);

    friend bool operator==(const OutputConfig&, const OutputConfig&) = default;
};

// The presets of the add-output menu, numbered 0 to 4 in this order.
enum class OutputPreset { full = 0, leftHalf = 1, rightHalf = 2, topHalf = 3, bottomHalf = 4 };

inline constexpr std::array<OutputPreset, 5> allOutputPresets = {
    OutputPreset::full, OutputPreset::leftHalf, OutputPreset::rightHalf, OutputPreset::topHalf,
    OutputPreset::bottomHalf};

// The menu label ("Full Canvas").
std::string_view outputPresetLabel(OutputPreset preset);

// The name a new output gets ("Full").
std::string_view outputPresetName(OutputPreset preset);

// A new output (new id, no blends) with the preset's name and crop.
OutputConfig makeOutput(OutputPreset preset);

} // namespace prismeta
