#include "media/FramePool.h"

namespace prismeta {

FramePool::FramePool(int slotCount)
    : slots_(static_cast<std::size_t>(slotCount)), ready_(static_cast<std::size_t>(slotCount)) {
    free_.reserve(slots_.size());
    for (int i = slotCount - 1; i >= 0; --i) {
        free_.push_back(i);
    }
}

int FramePool::acquire() {
    std::unique_lock lock(mutex_);
    if (free_.empty() && !closed_) {
        // A consumer waiting for a settled answer must learn that the
        // decoder cannot go on until a slot comes back.
        starved_ = true;
        published_.notify_all();
        slotFreed_.wait(lock, [this] { return closed_ || !free_.empty(); });
        starved_ = false;
    }
    if (closed_) {
        return -1;
    }
    const int slot = free_.back();
    free_.pop_back();
    return slot;
}

std::uint8_t* FramePool::storage(int slot, std::size_t bytes) {
    Slot& entry = slots_[static_cast<std::size_t>(slot)];
    if (entry.capacity < bytes) {
        entry.memory.reset(static_cast<std::uint8_t*>(av_malloc(bytes)));
        entry.capacity = entry.memory ? bytes : 0;
    }
    return entry.memory.get();
}

void FramePool::publish(int slot) {
    {
        const std::lock_guard lock(mutex_);
        ready_[(readyHead_ + readyCount_) % ready_.size()] = slot;
        ++readyCount_;
    }
    published_.notify_all();
}

void FramePool::freeLocked(int slot) {
    free_.push_back(slot);
}

void FramePool::recycle(int slot) {
    {
        const std::lock_guard lock(mutex_);
        freeLocked(slot);
    }
    slotFreed_.notify_one();
}

int FramePool::popDueLocked(double time, bool* laterQueued) {
    int newest = -1;
    while (readyCount_ > 0) {
        const int slot = ready_[readyHead_];
        if (slots_[static_cast<std::size_t>(slot)].frame.time > time) {
            break;
        }
        if (newest >= 0) {
            freeLocked(newest);
        }
        newest = slot;
        readyHead_ = (readyHead_ + 1) % ready_.size();
        --readyCount_;
    }
    if (laterQueued != nullptr) {
        *laterQueued = readyCount_ > 0;
    }
    return newest;
}

int FramePool::takeDue(double time) {
    int newest = -1;
    {
        const std::lock_guard lock(mutex_);
        newest = popDueLocked(time, nullptr);
    }
    slotFreed_.notify_one();
    return newest;
}

int FramePool::takeDueWaiting(double time, Deadline deadline) {
    int newest = -1;
    std::unique_lock lock(mutex_);
    for (;;) {
        const bool settled = published_.wait_until(lock, deadline, [&] {
            const bool laterQueued =
                readyCount_ > 0 &&
                slots_[static_cast<std::size_t>(
                           ready_[(readyHead_ + readyCount_ - 1) % ready_.size()])]
                        .frame.time > time;
            return laterQueued || (starved_ && free_.empty()) || finished_ || closed_;
        });
        bool laterQueued = false;
        const int due = popDueLocked(time, &laterQueued);
        if (due >= 0) {
            if (newest >= 0) {
                freeLocked(newest);
            }
            newest = due;
            slotFreed_.notify_one();
        }
        // A full queue of pictures all due may hide more due ones behind it:
        // wait again once their slots are back with the decoder.
        if (!settled || laterQueued || finished_ || closed_ || due < 0) {
            return newest;
        }
    }
}

void FramePool::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    slotFreed_.notify_all();
    published_.notify_all();
}

void FramePool::finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    published_.notify_all();
}

bool FramePool::finished() const {
    const std::lock_guard lock(mutex_);
    return finished_;
}

} // namespace prismeta
