#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace prismeta {

// GL takes byte offsets into buffers as pointers.
inline const void* bufferOffset(std::size_t bytes) {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(bytes));
}

// Compiles and links a vertex and a fragment stage into a GL program. On a
// compile or link error it logs "Prismeta: pipeline creation failed: "
// followed by the GL info log on one line, releases what it made and returns
// 0. Needs a current GL context; render thread only. The caller owns the
// program (glDeleteProgram).
unsigned buildShaderProgram(std::string_view vertexSource, std::string_view fragmentSource);

} // namespace prismeta
