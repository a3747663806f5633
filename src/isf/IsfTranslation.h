#pragma once

#include "isf/IsfShader.h"

#include <string>
#include <string_view>

namespace prismeta {

// Turns an ISF shader into GLSL 330 core: a preamble declaring the built-ins
// (TIME, TIMEDELTA, FRAMEINDEX, DATE, RENDERSIZE, PASSINDEX,
// isf_FragNormCoord, and the first version's vv_ names for it), a uniform
// per input, a sampler per pass target and imported image, the IMG_*
// sampling macros and each image's _<name>_imgRect, _imgSize and _flip;
// then the shader's own code with its GLSL 1.x idioms rewritten and the
// conversions lenient compilers made written out (IsfImplicitConversions.h).
// Pure text work; any thread.
//
// Image inputs and imported images arrive from the media layer with their
// top row first; each has a flag uniform `isf_flip_<name>` (set by the
// renderer) that turns the ISF convention (y up) into that. Pass targets are
// rendered by GL and read as they are.

struct IsfGlsl {
    std::string vertex;
    std::string fragment;
};

// vertexCode: the code of the .vs beside the shader, empty for the standard
// vertex stage (which only calls isf_vertShaderInit()).
IsfGlsl translateIsf(const IsfShader& shader, std::string_view vertexCode = {});

// The code with gl_FragColor as the stage's declared output, texture2D (and
// its Proj, Lod and Rect forms, textureCube) as the overloaded texture
// functions, varying as in or out, attribute as in, and #version lines
// commented out. Identifiers are matched whole, outside comments; line
// breaks are kept so the compiler's line numbers stay those of the file.
std::string translateGlslIdioms(std::string_view code, bool fragmentStage);

// The name the fragment stage writes its colour to.
inline constexpr std::string_view isfFragmentOutput = "isf_FragColor";

} // namespace prismeta
