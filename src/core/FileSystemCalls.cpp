#include "core/FileSystemCalls.h"

#include "core/Utf8Prefix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace prismeta {

std::string errnoText(int error) {
    return std::strerror(error);
}

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

Status writeAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::failure(errnoText(errno));
        }
        written += static_cast<std::size_t>(n);
    }
    return Status::success();
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string temporaryStem(const std::string& name) {
    return "." + std::string(utf8Prefix(name, 32)) + ".";
}

void syncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
}

} // namespace prismeta
