#include "render/IsfCheck.h"

#include "isf/IsfShaderFile.h"
#include "render/IsfProgram.h"

namespace prismeta {

Status checkIsfShader(const std::string& path) {
    Result<IsfShaderFile> file = loadIsfShaderFile(path);
    if (!file) {
        return Status::failure(file.error());
    }
    IsfProgram program;
    program.start(file->glsl);
    if (std::string error = program.link(file->shader); !error.empty()) {
        return Status::failure(error);
    }
    return Status::success();
}

} // namespace prismeta
