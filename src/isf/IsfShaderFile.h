#pragma once

#include "core/Result.h"
#include "isf/IsfShader.h"
#include "isf/IsfTranslation.h"

#include <string>

namespace prismeta {

// An ISF file read from disk, its header parsed and its code translated:
// everything of a shader that needs no GL. Reading and translating may take
// a while on a slow disk, so renderers do it off their thread.
struct IsfShaderFile {
    std::string path;
    IsfShader shader;
    IsfGlsl glsl;
};

// Reads the .fs at path (at most maxIsfSourceBytes, a regular file) and the
// .vs beside it when there is one. Failures say why, without the path
// (callers name the file in their own line).
Result<IsfShaderFile> loadIsfShaderFile(const std::string& path);

} // namespace prismeta
