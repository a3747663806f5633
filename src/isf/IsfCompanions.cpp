#include "isf/IsfCompanions.h"

#include "core/FileIO.h"
#include "isf/IsfShader.h"

#include <algorithm>
#include <system_error>

namespace prismeta {

ShaderCompanions isfCompanions(const std::filesystem::path& shaderFile) {
    namespace fs = std::filesystem;
    ShaderCompanions companions;
    fs::path vertex = shaderFile;
    vertex.replace_extension(".vs");
    std::error_code error;
    if (fs::is_regular_file(vertex, error)) {
        companions.files.push_back(vertex.filename().string());
    }
    const Result<std::string> text = readRegularFile(shaderFile, maxIsfSourceBytes);
    if (!text) {
        return companions;
    }
    const Result<IsfShader> shader = parseIsfShader(text.value());
    if (!shader) {
        return companions;
    }
    for (const IsfImportedImage& imported : shader.value().imported) {
        const fs::path relative = fs::path(imported.path).lexically_normal();
        const bool inside = !relative.empty() && relative.is_relative() &&
                            *relative.begin() != ".." && relative.filename() != "";
        if (!inside) {
            companions.outside.push_back(imported.path);
            continue;
        }
        const std::string file = relative.generic_string();
        if (std::find(companions.files.begin(), companions.files.end(), file) ==
            companions.files.end()) {
            companions.files.push_back(file);
        }
    }
    return companions;
}

} // namespace prismeta
