#pragma once

#include <cstddef>

namespace prismeta {

// One surface vertex as the GPU reads it, byte for byte: the position in
// canvas coordinates (y down) and the homogeneous texture coordinate
// (u*q, v*q, q) that the fragment stage divides back. 32 bytes, laid out like
// a shader's vec2 then 16-byte aligned vec3.
struct SurfaceVertex {
    float pos[2] = {0.0f, 0.0f};
    float gap0_[2] = {0.0f, 0.0f};
    float uvq[3] = {0.0f, 0.0f, 0.0f};
    float gap1_ = 0.0f;
};

static_assert(sizeof(SurfaceVertex) == 32);
static_assert(offsetof(SurfaceVertex, pos) == 0);
static_assert(offsetof(SurfaceVertex, uvq) == 16);

} // namespace prismeta
