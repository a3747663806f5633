#include "isf/IsfShaderFile.h"

#include "core/FileIO.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace prismeta {

Result<IsfShaderFile> loadIsfShaderFile(const std::string& path) {
    using Failure = Result<IsfShaderFile>;
    Result<std::string> text = readRegularFile(path, maxIsfSourceBytes);
    if (!text) {
        return Failure::failure(text.error());
    }
    Result<IsfShader> shader = parseIsfShader(text.value());
    if (!shader) {
        return Failure::failure(shader.error());
    }
    std::string vertexCode;
    std::filesystem::path vertexPath(path);
    vertexPath.replace_extension(".vs");
    std::error_code error;
    if (std::filesystem::exists(vertexPath, error)) {
        Result<std::string> vertex = readRegularFile(vertexPath, maxIsfSourceBytes);
        if (!vertex) {
            return Failure::failure("the vertex stage " + vertexPath.filename().string() + ": " +
                                    vertex.error());
        }
        vertexCode = std::move(vertex).value();
    }
    IsfShaderFile file;
    file.path = path;
    file.glsl = translateIsf(shader.value(), vertexCode);
    file.shader = std::move(shader).value();
    return file;
}

} // namespace prismeta
