#pragma once

namespace prismeta {

// A point in canvas coordinates: x from 0 (left edge) to 1 (right edge), y from
// 0 (top edge) to 1 (bottom edge). Values outside 0..1 are allowed.
struct Pt {
    float x = 0.0f;
    float y = 0.0f;

    friend bool operator==(const Pt&, const Pt&) = default;
};

} // namespace prismeta
