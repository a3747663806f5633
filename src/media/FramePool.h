#pragma once

#include "media/FFmpeg.h"
#include "media/VideoFrame.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace prismeta {

// The fixed set of picture buffers of one video player and the queue of
// converted pictures waiting to be shown, so that memory stays bounded
// whatever the video's length and nothing is allocated per frame once the
// buffers have their size. A slot is always in exactly one hand: free, being
// filled by the decoder thread, queued, or leased to the render thread.
// Internal to the media library. acquire, storage and publish belong to the
// decoder thread; takeDue and takeDueWaiting to the render thread; recycle to
// whoever holds the slot.
class FramePool {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    explicit FramePool(int slotCount);

    // Blocks until a slot is free; -1 once the pool is closed.
    int acquire();
    // The slot's memory, grown to at least bytes (aligned for SIMD); null if
    // that memory cannot be had. Only for the slot's holder.
    std::uint8_t* storage(int slot, std::size_t bytes);
    VideoFrame& frame(int slot) { return slots_[static_cast<std::size_t>(slot)].frame; }
    // Queues a filled slot. Times must increase from one slot to the next.
    void publish(int slot);
    void recycle(int slot);

    // Pops every queued picture due at time and returns the newest of them
    // (the others go back to the decoder), or -1 if none is due. Never blocks.
    int takeDue(double time);
    // As takeDue, but first waits (until deadline at most) until the answer
    // for time is settled: a later picture is queued, the decoder has
    // finished, or it waits for a slot that only the caller can give back.
    int takeDueWaiting(double time, Deadline deadline);

    // Wakes and refuses the decoder (the player is going away).
    void close();
    // The decoder has delivered its last picture.
    void finish();
    bool finished() const;

private:
    struct Slot {
        ff::Buffer memory;
        std::size_t capacity = 0;
        VideoFrame frame;
    };

    int popDueLocked(double time, bool* laterQueued);
    void freeLocked(int slot);

    std::vector<Slot> slots_;
    std::vector<int> free_;
    std::vector<int> ready_;
    std::size_t readyHead_ = 0;
    std::size_t readyCount_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable slotFreed_;
    std::condition_variable published_;
    bool starved_ = false;
    bool closed_ = false;
    bool finished_ = false;
};

} // namespace prismeta
