#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// The "name" of element `index` of the top-level list `list` ("surfaces",
// "outputs") of a project file, read without building the document: a file
// that failed to load can still say which surface its error is in. None when
// the file cannot be read, is larger than maxBytes, or has no such name
// before whatever makes it invalid.
//
// Any thread; reads the file once.
std::optional<std::string> listedNameInProjectFile(const std::filesystem::path& file,
                                                   std::string_view list, std::size_t index,
                                                   std::size_t maxBytes = std::size_t{64} << 20);

// The same over the file's bytes.
std::optional<std::string> listedNameInProjectBytes(std::string_view bytes, std::string_view list,
                                                    std::size_t index);

} // namespace prismeta
