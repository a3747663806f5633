#pragma once

#include <cstddef>

namespace prismeta {

// One vertex of the edge-blend overlay as the GPU reads it: the position in
// the output's own 0..1 space (y down) and the darkening there (1 = black,
// 0 = none). 16 bytes.
struct BlendVertex {
    float pos[2] = {0.0f, 0.0f};
    float alpha = 0.0f;
    float gap_ = 0.0f;
};

static_assert(sizeof(BlendVertex) == 16);
static_assert(offsetof(BlendVertex, pos) == 0);
static_assert(offsetof(BlendVertex, alpha) == 8);

} // namespace prismeta
