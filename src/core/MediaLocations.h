#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

namespace prismeta {

// Where media files that are missing at their stored paths were found: each
// stored path maps to the file shown in its place. Only what is shown
// changes; the project keeps its stored paths until the user accepts a
// relink. Made once and then shared read-only (through a pointer to const),
// so any thread may read one.
class MediaLocations {
public:
    // The file to open for a stored path: where it was found, or the stored
    // path itself.
    const std::string& resolve(const std::string& storedPath) const;
    // Where the file of a stored path was found; null when it was not moved.
    const std::string* find(const std::string& storedPath) const;

    void add(std::string storedPath, std::string foundAt);

    std::size_t size() const { return found_.size(); }
    bool empty() const { return found_.empty(); }
    friend bool operator==(const MediaLocations&, const MediaLocations&) = default;

private:
    std::unordered_map<std::string, std::string> found_;
};

} // namespace prismeta
