#pragma once

#include "core/Uuid.h"

#include <cstddef>

namespace prismeta {

// The mask the editor shows and edits: mask `mask` of the surface or output
// with id `record`. Chosen in the inspector's mask lists; it names a mask by
// position, so it may point at nothing once the list changes, and whoever
// uses it looks it up again each time. A surface's mask is shown only while
// that surface is selected.
struct MaskTarget {
    enum class Record { surface, output };
    Record record = Record::surface;
    Uuid id;
    std::size_t mask = 0;

    friend bool operator==(const MaskTarget&, const MaskTarget&) = default;
};

} // namespace prismeta
