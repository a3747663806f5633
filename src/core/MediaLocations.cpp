#include "core/MediaLocations.h"

namespace prismeta {

const std::string& MediaLocations::resolve(const std::string& storedPath) const {
    const std::string* found = find(storedPath);
    return found != nullptr ? *found : storedPath;
}

const std::string* MediaLocations::find(const std::string& storedPath) const {
    const auto it = found_.find(storedPath);
    return it == found_.end() ? nullptr : &it->second;
}

void MediaLocations::add(std::string storedPath, std::string foundAt) {
    found_.insert_or_assign(std::move(storedPath), std::move(foundAt));
}

} // namespace prismeta
