#include "core/FileCopy.h"

#include "core/FileSystemCalls.h"
#include "core/Uuid.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace prismeta {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t blockBytes = std::size_t{1} << 20;

// A file being written beside its target, named only by commit().
class PendingFile {
public:
    ~PendingFile() { discard(); }

    Status open(const fs::path& target) {
        target_ = target;
        folder_ = target.has_parent_path() ? target.parent_path() : fs::path(".");
        mode_ = newFileMode();
        // An unnamed file leaves nothing behind if the process dies.
        fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode_);
        if (fd_ >= 0) {
            return Status::success();
        }
        std::string pattern = temporaryName().string() + "XXXXXX";
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0) {
            return Status::failure("cannot create a file in " + folder_.string() + ": " +
                                   errnoText(errno));
        }
        named_ = pattern;
        return Status::success();
    }

    Status write(const char* data, std::size_t size) {
        if (const Status written = writeAll(fd_, std::string_view(data, size)); !written) {
            return Status::failure("cannot write " + target_.string() + ": " + written.error);
        }
        return Status::success();
    }

    // Syncs the bytes and gives them the target's name.
    Status commit(ExistingTarget existing) {
        if (::fchmod(fd_, mode_) != 0 || ::fsync(fd_) != 0) {
            return failure("cannot write " + target_.string(), errno);
        }
        if (named_.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            if (existing == ExistingTarget::keep) {
                // link() never replaces: the name appears with the whole file,
                // or the call fails because the name is taken.
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(),
                             AT_SYMLINK_FOLLOW) != 0) {
                    return failure("cannot name " + target_.string(), errno);
                }
                return finish();
            }
            for (int attempt = 0; attempt < 8 && named_.empty(); ++attempt) {
                const fs::path name = temporaryName().string() + Uuid::random().text().substr(0, 8);
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) ==
                    0) {
                    named_ = name;
                } else if (errno != EEXIST) {
                    return failure("cannot name the new file in " + folder_.string(), errno);
                }
            }
            if (named_.empty()) {
                return Status::failure("cannot name the new file in " + folder_.string());
            }
        }
        const int flags = existing == ExistingTarget::keep ? RENAME_NOREPLACE : 0;
        if (::renameat2(AT_FDCWD, named_.c_str(), AT_FDCWD, target_.c_str(), flags) != 0) {
            if (flags == 0 || (errno != EINVAL && errno != ENOSYS)) {
                return failure("cannot name " + target_.string(), errno);
            }
            // A file system without RENAME_NOREPLACE: link() does not replace either.
            if (::link(named_.c_str(), target_.c_str()) != 0) {
                return failure("cannot name " + target_.string(), errno);
            }
            ::unlink(named_.c_str());
        }
        named_.clear();
        return finish();
    }

    void discard() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (!named_.empty()) {
            ::unlink(named_.c_str());
            named_.clear();
        }
    }

private:
    fs::path temporaryName() const { return folder_ / temporaryStem(target_.filename().string()); }

    Status failure(const std::string& what, int error) const {
        if (error == EEXIST) {
            return Status::failure(target_.string() + " already exists");
        }
        return Status::failure(what + ": " + errnoText(error));
    }

    Status finish() {
        const int fd = fd_;
        fd_ = -1;
        ::close(fd); // the bytes are synced and named; nothing is left to fail
        syncFolder(folder_);
        return Status::success();
    }

    fs::path target_;
    fs::path folder_;
    fs::path named_;
    mode_t mode_ = 0644;
    int fd_ = -1;
};

} // namespace

Status copyFileSafely(const fs::path& source, const fs::path& target, ExistingTarget existing,
                      const std::function<bool(std::uint64_t)>& progress) {
    const FileDescriptor input(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int in = input.get();
    if (in < 0) {
        return Status::failure("cannot read " + source.string() + ": " + errnoText(errno));
    }
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        return Status::failure("cannot read " + source.string() + ": " + errnoText(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return Status::failure(source.string() + " is not a regular file");
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    PendingFile out;
    if (Status opened = out.open(target); !opened) {
        return opened;
    }
    std::vector<char> block(blockBytes);
    std::uint64_t copied = 0;
    for (;;) {
        const ssize_t n = ::read(in, block.data(), block.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::failure("cannot read " + source.string() + ": " + errnoText(errno));
        }
        if (n == 0) {
            break;
        }
        if (Status written = out.write(block.data(), static_cast<std::size_t>(n)); !written) {
            return written;
        }
        copied += static_cast<std::uint64_t>(n);
        if (progress && !progress(copied)) {
            return Status::failure("cancelled");
        }
    }
    return out.commit(existing);
}

Status writeFileSafely(const fs::path& target, std::string_view bytes, ExistingTarget existing) {
    PendingFile out;
    if (Status opened = out.open(target); !opened) {
        return opened;
    }
    if (Status written = out.write(bytes.data(), bytes.size()); !written) {
        return written;
    }
    return out.commit(existing);
}

} // namespace prismeta
