#pragma once

#include <string_view>

namespace prismeta {

// The GLSL 330 core sources of the two programs, carried in the binary. Each
// stage's main calls the function that does the work, so the functions can be
// read (and ported) on their own.
//
// Surface program: attributes 0 = pos (vec2), 1 = uvq (vec3); uniform blocks
// FrameUniforms and SurfaceUniforms (std140, see UniformBlocks.h); sampler
// uniform mediaTexture on unit 0.
// Overlay program: attributes 0 = pos (vec2), 1 = alpha (float); uniform
// block BlendUniforms (std140); int uniform blendStage (0 ramps, 1 black-level
// lift, 2 blend test field).
extern const std::string_view surfaceVertexSource;
extern const std::string_view surfaceFragmentSource;
extern const std::string_view blendVertexSource;
extern const std::string_view blendFragmentSource;

} // namespace prismeta
