#include "cues/LiveLayer.h"

#include <algorithm>

namespace prismeta {

namespace {

struct ById {
    bool operator()(const std::pair<Uuid, LiveLook>& entry, const Uuid& id) const {
        return entry.first < id;
    }
};

} // namespace

const LiveLook* LiveLayer::find(const Uuid& surface) const {
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), surface, ById{});
    return found != entries_.end() && found->first == surface ? &found->second : nullptr;
}

void LiveLayer::set(const Uuid& surface, LiveLook look) {
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), surface, ById{});
    const bool present = found != entries_.end() && found->first == surface;
    if (look.neutral()) {
        if (present) {
            entries_.erase(found);
            ++version_;
        }
        return;
    }
    if (present) {
        if (found->second == look) {
            return;
        }
        found->second = std::move(look);
    } else {
        entries_.emplace(found, surface, std::move(look));
    }
    ++version_;
}

LiveLook& LiveLayer::at(const Uuid& surface) {
    auto found = std::lower_bound(entries_.begin(), entries_.end(), surface, ById{});
    if (found == entries_.end() || found->first != surface) {
        found = entries_.emplace(found, surface, LiveLook{});
        ++version_;
    }
    return found->second;
}

void LiveLayer::erase(const Uuid& surface) {
    set(surface, LiveLook{});
}

void LiveLayer::clear() {
    if (!entries_.empty() || master_ != 1.0f) {
        entries_.clear();
        master_ = 1.0f;
        ++version_;
    }
}

void LiveLayer::setMaster(float master) {
    master = std::clamp(master, 0.0f, 1.0f);
    if (master != master_) {
        master_ = master;
        ++version_;
    }
}

} // namespace prismeta
