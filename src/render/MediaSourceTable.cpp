#include "render/MediaSourceTable.h"

#include "core/Surface.h"

namespace prismeta {

MediaSource* MediaSourceTable::find(const Surface& surface, std::uint64_t frame) {
    const auto [first, last] = entries_.equal_range(surface.id);
    for (auto it = first; it != last; ++it) {
        if (it->second.source->matches(surface)) {
            it->second.frame = frame;
            return it->second.source.get();
        }
    }
    return nullptr;
}

MediaSource* MediaSourceTable::insert(const Surface& surface, std::unique_ptr<MediaSource> source,
                                      std::uint64_t frame) {
    MediaSource* raw = source.get();
    entries_.emplace(surface.id, Entry{std::move(source), frame});
    return raw;
}

bool MediaSourceTable::anyChangesOverTime() const {
    for (const auto& [id, entry] : entries_) {
        if (entry.source->changesOverTime()) {
            return true;
        }
    }
    return false;
}

void MediaSourceTable::prune(std::uint64_t frame) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.frame != frame) {
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace prismeta
