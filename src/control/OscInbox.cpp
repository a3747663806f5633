#include "control/OscInbox.h"

#include <algorithm>
#include <utility>

namespace prismeta {

namespace {

// What a waiting message costs: its texts plus a fixed share for the record.
std::size_t footprint(const OscMessage& message) {
    std::size_t bytes = sizeof(OscMessage) + message.address.size();
    for (const OscArgument& argument : message.arguments) {
        bytes += sizeof(OscArgument);
        if (const std::string* text = std::get_if<std::string>(&argument.value)) {
            bytes += text->size();
        }
    }
    return bytes;
}

std::string editKey(const OscMessage& message) {
    if (!message.isEdit()) {
        return {};
    }
    std::string key = message.address;
    key.push_back('\0');
    key += typeTags(message.arguments);
    return key;
}

} // namespace

OscInbox::OscInbox(std::function<void()> wake) : OscInbox(Limits{}, std::move(wake)) {}

OscInbox::OscInbox(Limits limits, std::function<void()> wake)
    : limits_(limits), wake_(std::move(wake)) {}

void OscInbox::eraseLocked(Iterator entry) {
    bytes_ -= entry->bytes;
    entries_.erase(entry);
}

void OscInbox::forgetOldestEditLocked(Edits::iterator same) {
    same->second.pop_front();
    if (same->second.size() == 1) {
        redundant_.erase(same->first);
    } else if (same->second.empty()) {
        edits_.erase(same);
    }
}

bool OscInbox::dropOldestLocked(const std::string& key) {
    const auto same = edits_.find(key);
    if (same == edits_.end()) {
        return false;
    }
    eraseLocked(same->second.front());
    forgetOldestEditLocked(same);
    return true;
}

bool OscInbox::push(OscMessage message) {
    Entry entry;
    entry.bytes = footprint(message);
    entry.editKey = editKey(message);
    entry.message = std::move(message);

    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        const auto full = [this, &entry] {
            return entries_.size() + 1 > limits_.maxMessages ||
                   bytes_ + entry.bytes > limits_.maxBytes;
        };
        if (full() && !entry.editKey.empty()) {
            // Older values of this field go first, oldest first.
            while (full() && dropOldestLocked(entry.editKey)) {
                ++drops_.superseded;
            }
        }
        // Then older values of fields that have newer ones waiting.
        while (full() && !redundant_.empty()) {
            const std::string key = *redundant_.begin();
            dropOldestLocked(key);
            ++drops_.superseded;
        }
        if (full()) {
            ++drops_.refused;
            return false;
        }
        bytes_ += entry.bytes;
        const std::string key = entry.editKey;
        entries_.push_back(std::move(entry));
        if (!key.empty()) {
            std::deque<Iterator>& same = edits_[key];
            same.push_back(std::prev(entries_.end()));
            if (same.size() == 2) {
                redundant_.insert(key);
            }
        }
        highWater_ = std::max(highWater_, entries_.size());
        if (!wakePending_) {
            wakePending_ = true;
            wake = true;
        }
    }
    if (wake && wake_) {
        wake_();
    }
    return true;
}

bool OscInbox::take(std::size_t max, std::vector<OscMessage>& out) {
    const std::lock_guard lock(mutex_);
    for (std::size_t n = 0; n < max && !entries_.empty(); ++n) {
        const Iterator front = entries_.begin();
        if (!front->editKey.empty()) {
            // The oldest message is the oldest of its own field too.
            forgetOldestEditLocked(edits_.find(front->editKey));
        }
        out.push_back(std::move(front->message));
        eraseLocked(front);
    }
    if (entries_.empty()) {
        wakePending_ = false;
        return false;
    }
    return true;
}

std::size_t OscInbox::size() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t OscInbox::highWater() const {
    const std::lock_guard lock(mutex_);
    return highWater_;
}

OscInbox::Drops OscInbox::takeDrops() {
    const std::lock_guard lock(mutex_);
    return std::exchange(drops_, Drops{});
}

} // namespace prismeta
