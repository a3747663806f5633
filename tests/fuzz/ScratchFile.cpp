#include "ScratchFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace prismeta::fuzz {

ScratchFile::ScratchFile(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/prismeta-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("prismeta fuzz: mkdtemp");
        std::abort();
    }
    folder_ = pattern;
    path_ = folder_ + "/" + name;
}

ScratchFile::~ScratchFile() {
    ::unlink(path_.c_str());
    ::rmdir(folder_.c_str());
}

bool ScratchFile::write(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0;
}

} // namespace prismeta::fuzz
