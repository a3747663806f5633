#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace prismeta::fuzz {

// One file in a private temporary folder that every fuzz input is written to:
// the project loader and the decoders read files by path. The folder is made
// on construction and removed, with the file, on destruction. One thread.
class ScratchFile {
public:
    // name: the file's name inside the folder (an extension steers FFmpeg's
    // probing for formats without a signature).
    explicit ScratchFile(const std::string& name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content with the bytes; false when it cannot.
    bool write(const std::uint8_t* data, std::size_t size);
    const std::string& path() const { return path_; }

private:
    std::string folder_;
    std::string path_;
};

} // namespace prismeta::fuzz
