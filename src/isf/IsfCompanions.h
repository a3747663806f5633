#pragma once

#include "core/ProjectCollector.h"

#include <filesystem>

namespace prismeta {

// What the ISF file at shaderFile brings along, for collecting it: the
// vertex stage beside it (same name, ".vs") where there is one, and its
// IMPORTED images, relative to its folder; imported images named by an
// absolute path or one leading out of the folder are listed as outside. A
// file that cannot be read or whose header does not parse brings only its
// vertex stage. Reads the file: any thread but the interface's.
ShaderCompanions isfCompanions(const std::filesystem::path& shaderFile);

} // namespace prismeta
