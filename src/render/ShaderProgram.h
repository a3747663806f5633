#pragma once

#include <string_view>

namespace prismeta {

// Compiles and links a vertex and a fragment stage into a GL program. On a
// compile or link error it logs "Prismeta: pipeline creation failed: "
// followed by the GL info log on one line, releases what it made and returns
// 0. Needs a current GL context; render thread only. The caller owns the
// program (glDeleteProgram).
unsigned buildShaderProgram(std::string_view vertexSource, std::string_view fragmentSource);

} // namespace prismeta
