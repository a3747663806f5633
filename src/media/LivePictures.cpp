#include "media/LivePictures.h"

#include <cstring>

namespace prismeta {

namespace {

// A window polls every frame; one that has not asked for this long is not
// watching, and the pictures it misses are not counted.
constexpr std::chrono::milliseconds watchWindow{500};

} // namespace

LivePictures::LivePictures(int slots) : slots_(static_cast<std::size_t>(slots < 2 ? 2 : slots)) {}

int LivePictures::acquire() {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = slots_[i];
        if (static_cast<int>(i) != newest_ && slot.leases == 0 && !slot.acquired) {
            slot.acquired = true;
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::uint8_t* LivePictures::storage(int slot, std::size_t bytes) {
    Slot& entry = slots_[static_cast<std::size_t>(slot)];
    if (entry.capacity < bytes) {
        entry.memory.reset(static_cast<std::uint8_t*>(av_malloc(bytes)));
        entry.capacity = entry.memory ? bytes : 0;
    }
    return entry.memory.get();
}

bool LivePictures::watchedLocked(Clock::time_point now) const {
    return lastTake_ != Clock::time_point{} && now - lastTake_ < watchWindow;
}

void LivePictures::publish(int slot) {
    {
        const std::lock_guard lock(mutex_);
        const Clock::time_point now = Clock::now();
        if (newest_ >= 0 && !slots_[static_cast<std::size_t>(newest_)].taken &&
            watchedLocked(now)) {
            ++notShown_;
        }
        Slot& entry = slots_[static_cast<std::size_t>(slot)];
        entry.acquired = false;
        entry.taken = false;
        entry.picture.serial = ++serial_;
        newest_ = slot;
        newestAt_ = now;
    }
    published_.notify_all();
}

void LivePictures::discard(int slot) {
    const std::lock_guard lock(mutex_);
    slots_[static_cast<std::size_t>(slot)].acquired = false;
}

void LivePictures::prepare(std::size_t bytes, int count) {
    std::vector<int> prepared;
    for (int i = 0; i < count; ++i) {
        const int slot = acquire();
        if (slot < 0) {
            break;
        }
        prepared.push_back(slot);
        if (slots_[static_cast<std::size_t>(slot)].capacity < bytes) {
            std::uint8_t* memory = storage(slot, bytes);
            if (memory != nullptr) {
                std::memset(memory, 0, bytes);
            }
        }
    }
    for (const int slot : prepared) {
        discard(slot);
    }
}

void LivePictures::countNotShown() {
    const std::lock_guard lock(mutex_);
    if (watchedLocked(Clock::now())) {
        ++notShown_;
    }
}

int LivePictures::takeNewer(std::uint64_t after) {
    const std::lock_guard lock(mutex_);
    lastTake_ = Clock::now();
    if (newest_ < 0) {
        return -1;
    }
    Slot& entry = slots_[static_cast<std::size_t>(newest_)];
    if (entry.picture.serial <= after) {
        return -1;
    }
    ++entry.leases;
    entry.taken = true;
    return newest_;
}

int LivePictures::waitNewer(std::uint64_t after, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    published_.wait_until(lock, deadline, [&] {
        return newest_ >= 0 && slots_[static_cast<std::size_t>(newest_)].picture.serial > after;
    });
    lock.unlock();
    return takeNewer(after);
}

void LivePictures::giveBack(int slot) {
    const std::lock_guard lock(mutex_);
    --slots_[static_cast<std::size_t>(slot)].leases;
}

std::uint64_t LivePictures::notShown() const {
    const std::lock_guard lock(mutex_);
    return notShown_;
}

std::optional<LivePictures::Clock::time_point> LivePictures::newestAt() const {
    const std::lock_guard lock(mutex_);
    if (newest_ < 0) {
        return std::nullopt;
    }
    return newestAt_;
}

std::uint64_t LivePictures::published() const {
    const std::lock_guard lock(mutex_);
    return serial_;
}

} // namespace prismeta
