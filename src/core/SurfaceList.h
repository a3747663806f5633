#pragma once

#include "core/Surface.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace prismeta {

// An immutable list of surfaces with shared storage. Copying one costs a
// reference count, so undo snapshots and per-frame snapshots are O(1); every
// change builds a new list (copy on write). Safe to read from any thread once
// made, since the storage never changes.
class SurfaceList {
public:
    using const_iterator = std::vector<Surface>::const_iterator;

    SurfaceList();
    explicit SurfaceList(std::vector<Surface> surfaces);

    std::size_t size() const { return items_->size(); }
    bool empty() const { return items_->empty(); }
    const Surface& operator[](std::size_t index) const { return (*items_)[index]; }
    const_iterator begin() const { return items_->begin(); }
    const_iterator end() const { return items_->end(); }
    const std::vector<Surface>& vector() const { return *items_; }

    // A copy of the elements, to edit and wrap in a new list.
    std::vector<Surface> copy() const { return *items_; }

    // A new list with the element at index replaced.
    SurfaceList replacing(std::size_t index, Surface surface) const;

    // Whether both lists are the very same storage (not just equal values).
    bool sharesStorageWith(const SurfaceList& other) const { return items_ == other.items_; }

    friend bool operator==(const SurfaceList& a, const SurfaceList& b) {
        return a.items_ == b.items_ || *a.items_ == *b.items_;
    }

private:
    std::shared_ptr<const std::vector<Surface>> items_;
};

} // namespace prismeta
