#pragma once

#include "core/OutputConfig.h"

#include <cstdint>

namespace prismeta {

// The fields of an output that undo steps hold (ProjectModel::pushOutputUndo):
// its geometry on the projector, which drags, gestures and calibration
// change. Every other field of an output (the blend widths, the curve, the
// display) stays outside the undo history.
enum class OutputPart : std::uint8_t { crop = 1, warp = 2, blendMap = 4, masks = 8 };

class OutputParts {
public:
    constexpr OutputParts() = default;
    constexpr OutputParts(OutputPart part) : bits_(static_cast<std::uint8_t>(part)) {}

    // Crop, warp, blend map and masks.
    static constexpr OutputParts geometry() { return OutputParts(0x0F); }

    constexpr bool has(OutputPart part) const {
        return (bits_ & static_cast<std::uint8_t>(part)) != 0;
    }
    constexpr bool empty() const { return bits_ == 0; }
    friend constexpr OutputParts operator|(OutputParts a, OutputParts b) {
        return OutputParts(static_cast<std::uint8_t>(a.bits_ | b.bits_));
    }
    friend constexpr bool operator==(OutputParts, OutputParts) = default;

private:
    constexpr explicit OutputParts(std::uint8_t bits) : bits_(bits) {}
    std::uint8_t bits_ = 0;
};

constexpr OutputParts operator|(OutputPart a, OutputPart b) {
    return OutputParts(a) | OutputParts(b);
}

// Copies the parts named from one output's values into another's.
inline void copyOutputParts(const OutputConfig& from, OutputConfig& to, OutputParts parts) {
    if (parts.has(OutputPart::crop)) {
        to.cropX = from.cropX;
        to.cropY = from.cropY;
        to.cropWidth = from.cropWidth;
        to.cropHeight = from.cropHeight;
    }
    if (parts.has(OutputPart::warp)) {
        to.warp = from.warp;
    }
    if (parts.has(OutputPart::blendMap)) {
        to.blendMap = from.blendMap;
    }
    if (parts.has(OutputPart::masks)) {
        to.masks = from.masks;
    }
}

} // namespace prismeta
