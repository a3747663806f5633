#include "core/FileIO.h"

#include "core/FileSystemCalls.h"
#include "core/Uuid.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace prismeta {

namespace fs = std::filesystem;

namespace {

// The system would stop reading the path at its first NUL and name another
// file.
bool hasNul(const fs::path& path) {
    return path.native().find('\0') != std::string::npos;
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link). A dangling link yields its final target, which saving then creates.
Result<fs::path> resolveLinks(const fs::path& path) {
    fs::path current = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        const auto status = fs::symlink_status(current, error);
        if (error || !fs::is_symlink(status)) {
            return current;
        }
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            return Result<fs::path>::failure("cannot read the link " + current.string() + ": " +
                                             error.message());
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return Result<fs::path>::failure(path.string() + ": too many levels of symbolic links");
}

// Memory the system can still give without swapping out what runs, plus free
// swap, from /proc/meminfo; nothing where that cannot be read.
std::optional<std::uint64_t> availableMemory() {
    FileDescriptor fd(::open("/proc/meminfo", O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return std::nullopt;
    }
    char text[4096];
    const ssize_t n = ::read(fd.get(), text, sizeof text - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    text[n] = '\0';
    auto kilobytes = [&](const char* field) -> std::optional<std::uint64_t> {
        const char* at = std::strstr(text, field);
        if (!at) {
            return std::nullopt;
        }
        return std::strtoull(at + std::strlen(field), nullptr, 10);
    };
    const auto memory = kilobytes("MemAvailable:");
    if (!memory) {
        return std::nullopt;
    }
    return (*memory + kilobytes("SwapFree:").value_or(0)) * 1024;
}

// Removes a temporary file's name when the scope ends, however it ends (an
// exception included), unless the file is kept.
class TemporaryName {
public:
    explicit TemporaryName(const std::string& name) : name_(name) {}
    ~TemporaryName() {
        if (!kept_) {
            ::unlink(name_.c_str());
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void keep() { kept_ = true; }

private:
    const std::string& name_;
    bool kept_ = false;
};

// Writes the bytes, sets the mode and syncs; the description names the target.
Status fillTemporary(int fd, std::string_view bytes, mode_t mode, const fs::path& target) {
    if (const Status written = writeAll(fd, bytes); !written) {
        return Status::failure("cannot write " + target.string() + ": " + written.error);
    }
    if (::fchmod(fd, mode) != 0) {
        return Status::failure("cannot set the permissions of " + target.string() + ": " +
                               errnoText(errno));
    }
    if (::fsync(fd) != 0) {
        return Status::failure("cannot write " + target.string() + ": " + errnoText(errno));
    }
    return Status::success();
}

// A finished temporary file under a new name in folder, made through mkostemp.
Result<std::string> writeNamedTemporary(const fs::path& folder, const std::string& stem,
                                        mode_t mode, std::string_view bytes,
                                        const fs::path& target) {
    std::string name = (folder / (stem + "XXXXXX")).string();
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return Result<std::string>::failure("cannot create a temporary file in " + folder.string() +
                                            ": " + errnoText(errno));
    }
    TemporaryName removal(name);
    Status done = fillTemporary(fd.get(), bytes, mode, target);
    if (done && ::close(fd.release()) != 0) {
        done = Status::failure("cannot write " + target.string() + ": " + errnoText(errno));
    }
    if (!done) {
        fd.reset();
        return Result<std::string>::failure(done.error);
    }
    removal.keep();
    return name;
}

// Gives an unnamed file a name in folder: through /proc/self/fd, which needs
// no privilege, or with AT_EMPTY_PATH where /proc is not mounted (containers,
// chroots) and the process may use it. False when neither works.
bool linkUnnamed(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

// A finished temporary file made unnamed (O_TMPFILE), so that a process dying
// while it writes leaves nothing behind, and named only once complete. A
// failure with an empty description means the folder or the system cannot do
// this (no O_TMPFILE, no way to link it): the caller uses a named file.
Result<std::string> writeUnnamedTemporary(const fs::path& folder, const std::string& stem,
                                          mode_t mode, std::string_view bytes,
                                          const fs::path& target) {
    FileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!fd.valid()) {
        return Result<std::string>::failure("");
    }
    if (const Status done = fillTemporary(fd.get(), bytes, mode, target); !done) {
        return Result<std::string>::failure(done.error);
    }
    std::string name;
    for (int attempt = 0; attempt < 8 && name.empty(); ++attempt) {
        std::string candidate = (folder / (stem + Uuid::random().text().substr(0, 8))).string();
        if (linkUnnamed(fd.get(), candidate)) {
            name = std::move(candidate); // a move: nothing to fail once the name exists
        } else if (errno != EEXIST) {
            return Result<std::string>::failure("");
        }
    }
    if (name.empty()) {
        return Result<std::string>::failure("");
    }
    TemporaryName removal(name);
    if (::close(fd.release()) != 0) {
        const int error = errno;
        return Result<std::string>::failure("cannot write " + target.string() + ": " +
                                            errnoText(error));
    }
    removal.keep();
    return name;
}

} // namespace

Result<std::string> readRegularFile(const fs::path& path, std::size_t maxBytes) try {
    if (hasNul(path)) {
        return Result<std::string>::failure(path.string() + ": " + errnoText(ENOENT));
    }
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        return Result<std::string>::failure(path.string() + ": " + errnoText(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return Result<std::string>::failure(path.string() + ": " + errnoText(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        return Result<std::string>::failure(path.string() + " is a folder, not a file");
    }
    if (!S_ISREG(info.st_mode)) {
        return Result<std::string>::failure(path.string() + " is not a regular file");
    }
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
        return Result<std::string>::failure(path.string() + " is too large (" +
                                            std::to_string(info.st_size) + " bytes)");
    }
    // Where memory is promised beyond what exists, a buffer that cannot be
    // filled is not refused but ends the process when touched: refuse it here.
    if (const auto available = availableMemory();
        available && static_cast<std::uint64_t>(info.st_size) > *available) {
        return Result<std::string>::failure(
            path.string() + " is too large for the memory available (" +
            std::to_string(info.st_size) + " bytes, " + std::to_string(*available) + " free)");
    }
    // A regular file does not block; clear the flag so reads behave normally.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Result<std::string>::failure(path.string() + ": " + errnoText(errno));
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            return Result<std::string>::failure(path.string() + " is too large");
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
} catch (const std::bad_alloc&) {
    // The buffer for the whole file (or a description) did not fit; whatever
    // was taken is released by now.
    return Result<std::string>::failure("not enough memory to read " + path.string());
}

Status writeFileAtomically(const fs::path& requested, std::string_view bytes) try {
    if (hasNul(requested)) {
        return Status::failure(requested.string() + " is not a file name");
    }
    const auto resolved = resolveLinks(requested);
    if (!resolved) {
        return Status::failure(resolved.error());
    }
    const fs::path target = resolved.value();
    if (target.filename().empty()) {
        return Status::failure(requested.string() + " is not a file name");
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    // Keep the permission bits of the file being replaced; a new file gets the
    // usual 0666 less the umask.
    mode_t mode = 0;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            return Status::failure(target.string() + " is a folder");
        }
        if (!S_ISREG(existing.st_mode)) {
            return Status::failure(target.string() + " is not a regular file");
        }
        mode = existing.st_mode & 07777;
    } else {
        mode = newFileMode();
    }

    const std::string stem = temporaryStem(target.filename().string());
    Result<std::string> temporary = writeUnnamedTemporary(folder, stem, mode, bytes, target);
    if (!temporary && temporary.error().empty()) {
        temporary = writeNamedTemporary(folder, stem, mode, bytes, target);
    }
    if (!temporary) {
        return Status::failure(temporary.error());
    }
    if (::rename(temporary.value().c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.value().c_str());
        return Status::failure("cannot replace " + target.string() + ": " + errnoText(error));
    }
    // Make the rename itself durable.
    syncFolder(folder);
    return Status::success();
} catch (const std::bad_alloc&) {
    // Descriptors are closed and any temporary name removed by now.
    return Status::failure("not enough memory to save " + requested.string());
}

} // namespace prismeta
