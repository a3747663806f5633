#pragma once

#include "core/Result.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace prismeta {

// Reads a whole regular file. The file is opened without blocking and checked
// with fstat first, so a folder, a FIFO or a device fails with a description
// instead of blocking or reading forever. Files above maxBytes are refused,
// and so are files larger than the memory the system has available, or
// whose buffer cannot be allocated.
Result<std::string> readRegularFile(const std::filesystem::path& path,
                                    std::size_t maxBytes = std::size_t{1} << 30);

// Replaces the file at path with bytes so that, whatever happens (a crash, a
// full disk, a kill), the path holds either the whole old file or the whole
// new one: the bytes go to a temporary file in the same folder, which is
// synced, given the old file's permission bits and renamed over the target;
// then the folder is synced. When path is a symbolic link, the file it points
// to is replaced and the link stays.
Status writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace prismeta
