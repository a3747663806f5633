#pragma once

#include "core/Result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace prismeta {

// Writing files into a folder so that no file there ever holds part of its
// bytes: the bytes go to a file without a name (or, where the file system
// cannot make one, a hidden temporary name in the same folder), are synced,
// and only then get their name; the folder is synced after. A full disk, a
// crash or a cancel in between leaves the name as it was. Any thread.

// What to do when the target exists.
enum class ExistingTarget {
    keep,    // leave it; the write fails
    replace, // replace it whole (a link there is replaced, not followed)
};

// Copies the regular file at source to target. The source is opened without
// blocking and must be a regular file: a FIFO or a device fails at once
// instead of hanging. progress, when given, is told the bytes copied so far
// after every block; when it returns false the copy stops and fails with the
// description "cancelled".
Status copyFileSafely(const std::filesystem::path& source, const std::filesystem::path& target,
                      ExistingTarget existing,
                      const std::function<bool(std::uint64_t bytesCopied)>& progress = {});

// The same for bytes in memory.
Status writeFileSafely(const std::filesystem::path& target, std::string_view bytes,
                       ExistingTarget existing);

} // namespace prismeta
