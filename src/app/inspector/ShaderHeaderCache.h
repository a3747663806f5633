#pragma once

#include "isf/IsfShader.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace prismeta {

// The parsed header of the shader file the inspector shows, kept by path and
// modification time: the model changes on every slider step, and the file
// is read again only when it is another file or was written since.
//
// Interface thread only (one cache per inspector).
class ShaderHeaderCache {
public:
    // The header of the file at path, or none when the file cannot be read
    // or parsed (the failure is logged once per file version).
    const IsfShader* header(const std::string& path);
    // Counts the reads, so a caller sees that the header may differ from
    // the one it built its controls from.
    std::uint64_t generation() const { return generation_; }

private:
    std::string path_;
    std::optional<std::filesystem::file_time_type> modified_;
    std::optional<IsfShader> shader_;
    std::uint64_t generation_ = 0;
};

} // namespace prismeta
