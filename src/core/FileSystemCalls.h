#pragma once

// What the code that reads and writes files through the system's own calls
// (FileIO, FileCopy) shares: a descriptor closed on scope exit, a write that
// goes on after interruptions, the mode of a new file, the name of a
// temporary file beside its target and the sync of a folder. Any thread.

#include "core/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace prismeta {

// The system's description of an errno value ("No such file or directory").
std::string errnoText(int error);

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_;
};

// Writes all of bytes to fd, going on after a signal interrupts; a failure
// carries errnoText of the error.
Status writeAll(int fd, std::string_view bytes);

// The permission bits of a newly made file: 0666 less the process's umask.
mode_t newFileMode();

// The start of a temporary file's name beside a target called name: a dot,
// at most the first 32 bytes of the name (cut between characters) and a dot,
// so that a leftover is recognisable and the name stays far below NAME_MAX
// whatever the target is called.
std::string temporaryStem(const std::string& name);

// Syncs the folder so that names just made or replaced in it last; nothing
// happens where it cannot be opened.
void syncFolder(const std::filesystem::path& folder);

} // namespace prismeta
