#pragma once

#include "core/Result.h"

#include <string>

namespace prismeta {

// Whether the ISF file at path reads, translates, compiles and links: the
// check of `prismeta-cli validate`. Needs a current OpenGL 3.3 core context
// (it compiles there and waits for the driver); fails with the reason, the
// compiler's first error line for code that does not compile.
Status checkIsfShader(const std::string& path);

} // namespace prismeta
