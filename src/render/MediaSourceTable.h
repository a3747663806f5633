#pragma once

#include "core/Uuid.h"
#include "render/MediaSource.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <unordered_map>

namespace prismeta {

struct Surface;

// One renderer's media sources, keyed by surface id and media signature: a
// file may repeat an id, and two surfaces sharing one must not evict each
// other's sources every frame. Each frame stamps the entries it uses; prune()
// then drops every entry no surface used, so a deleted video stops at once.
// Lookups, stamping and pruning allocate nothing.
//
// Owned by the renderer; render thread only, its GL context current whenever
// an entry may be destroyed (prune, the destructor).
class MediaSourceTable {
public:
    // The entry for the surface's id whose signature still matches, stamped
    // with frame; none when there is none.
    MediaSource* find(const Surface& surface, std::uint64_t frame);
    // Adds a source for the surface, stamped with frame, and returns it.
    MediaSource* insert(const Surface& surface, std::unique_ptr<MediaSource> source,
                        std::uint64_t frame);
    // Drops (and so releases) every entry not stamped with frame.
    void prune(std::uint64_t frame);
    // Drops every entry whose source the predicate picks.
    template <typename Predicate> void dropIf(Predicate&& drop) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            it = drop(static_cast<const MediaSource&>(*it->second.source)) ? entries_.erase(it)
                                                                           : std::next(it);
        }
    }
    void clear() { entries_.clear(); }

    std::size_t size() const { return entries_.size(); }
    // Whether any source's picture may still change (MediaSource::changesOverTime).
    bool anyChangesOverTime() const;

private:
    struct Entry {
        std::unique_ptr<MediaSource> source;
        std::uint64_t frame = 0;
    };
    std::unordered_multimap<Uuid, Entry> entries_;
};

} // namespace prismeta
