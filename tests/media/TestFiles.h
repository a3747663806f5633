#pragma once

#include <string>

// Bad inputs shared by the still and video tests, made in one folder.
namespace prismeta::testfiles {

// A temporary folder removed with everything in it when destroyed.
class TempDir {
public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeBytes(const std::string& path, const std::string& bytes);
std::string readBytes(const std::string& path);
// A copy of source cut to its first fraction.
void writeTruncated(const std::string& source, const std::string& target, double fraction);
// A named pipe with no writer: opening it for reading the usual way blocks.
bool makeFifo(const std::string& path);

} // namespace prismeta::testfiles
