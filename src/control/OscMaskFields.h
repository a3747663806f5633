#pragma once

#include "control/OscMessage.h"
#include "core/Mask.h"
#include "core/Result.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The mask fields of a surface or an output, below the record's target:
//   mask/<n>/enabled   i (0 or 1), T or F
//   mask/<n>/invert    i, T or F
//   mask/<n>/feather   f (clamped to 0..0.5)
//   mask/<n>/point/<k> ff (any finite point a 32-bit float holds)
//   mask/<n>/point/<k>/in, .../out  ff: the point's Bézier handles. A point
//     without a handle answers its own position (where the missing handle
//     stands); setting one gives the point that handle.
// n and k are whole numbers written out (no patterns): masks and points are
// addressed by position, and only ones that exist can be set.
struct MaskField {
    enum class Kind { enabled, invert, feather, point, pointIn, pointOut };
    std::size_t mask = 0;
    Kind kind = Kind::enabled;
    std::size_t point = 0;

    // "mask/2/point/7".
    std::string path() const;
};

// Whether the components below a target start a mask address ("mask", ...).
bool isMaskAddress(std::span<const std::string_view> parts);

// The field the components name; the reason when they name none.
Result<MaskField> parseMaskField(std::span<const std::string_view> parts);

// Writes the message's arguments into the field of masks. The failure says
// why: "takes ...", a value refused, no such mask or point.
Status writeMaskField(std::vector<Mask>& masks, const MaskField& field,
                      const OscArguments& arguments);

// The field's value as a query answers it; empty when there is no such mask
// or point.
OscArguments readMaskField(const std::vector<Mask>& masks, const MaskField& field);

// Every field whose value differs between two lists of masks (those only in
// `after` included), for feedback.
void forEachChangedMaskField(const std::vector<Mask>& before, const std::vector<Mask>& after,
                             const std::function<void(const MaskField&, OscArguments)>& each);

} // namespace prismeta
