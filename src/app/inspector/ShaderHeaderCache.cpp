#include "app/inspector/ShaderHeaderCache.h"

#include "core/Log.h"
#include "isf/IsfShaderFile.h"

#include <system_error>

namespace prismeta {

const IsfShader* ShaderHeaderCache::header(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_time_type modified =
        std::filesystem::last_write_time(std::filesystem::path(path), error);
    if (error) {
        // Gone or unreadable: nothing to offer, and a later version is read afresh.
        path_.clear();
        modified_.reset();
        shader_.reset();
        return nullptr;
    }
    if (path == path_ && modified_ == modified) {
        return shader_ ? &*shader_ : nullptr;
    }
    path_ = path;
    modified_ = modified;
    ++generation_;
    shader_.reset();
    Result<IsfShaderFile> file = loadIsfShaderFile(path);
    if (!file) {
        logLine("Prismeta: inspector: shader " + path + ": " + file.error());
        return nullptr;
    }
    shader_ = std::move(file->shader);
    return &*shader_;
}

} // namespace prismeta
