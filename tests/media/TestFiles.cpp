#include "TestFiles.h"

#include "MediaFixtures.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace prismeta::testfiles {

TempDir::TempDir(const std::string& tag) : path_(fixtures::makeTempDir(tag)) {}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeTruncated(const std::string& source, const std::string& target, double fraction) {
    const std::string bytes = readBytes(source);
    writeBytes(target, bytes.substr(0, static_cast<std::size_t>(bytes.size() * fraction)));
}

bool makeFifo(const std::string& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

} // namespace prismeta::testfiles
