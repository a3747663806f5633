#pragma once

#include "media/FFmpeg.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace prismeta {

// One converted live picture: BGRA rows from the top, stride bytes apart (a
// multiple of 4), numbered in the order they were published.
struct LivePicture {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::uint64_t serial = 0;
};

// The hand-over of a live source's pictures from its reader thread to every
// window showing it: only the newest published picture can be taken; one
// that is replaced before anyone took it is not shown (and counted, while
// someone is watching), so nothing ever queues behind. A fixed set of
// buffers, each leased to any number of windows at once: memory stays
// bounded and nothing is allocated per picture once the buffers have their
// size.
//
// acquire, storage, picture, publish and discard belong to the reader;
// takeNewer, waitNewer and giveBack to the windows (any thread).
class LivePictures {
public:
    using Clock = std::chrono::steady_clock;

    explicit LivePictures(int slots);

    // A buffer neither newest nor leased, or -1 when every one is (the
    // picture is not shown then). Never blocks.
    int acquire();
    // The slot's memory, grown to at least bytes; null if it cannot be had.
    std::uint8_t* storage(int slot, std::size_t bytes);
    LivePicture& picture(int slot) { return slots_[static_cast<std::size_t>(slot)].picture; }
    // Makes the acquired slot the newest picture, numbering it.
    void publish(int slot);
    // Gives an acquired slot back unpublished.
    void discard(int slot);
    // A picture decoded and never converted (no buffer was free: the
    // windows still hold the ones before it).
    void countNotShown();
    // Grows up to count free buffers to at least bytes and writes all of
    // their memory once, before the source's first picture: a page's first
    // touch is slow on some machines (a virtual machine's memory given back
    // to its host costs over a millisecond per megabyte), and paid by the
    // first pictures it would stall the reader for frames. A buffer already
    // that large is left alone.
    void prepare(std::size_t bytes, int count);

    // The newest picture if its number is greater than after: its slot,
    // leased until giveBack; -1 otherwise. Never blocks.
    int takeNewer(std::uint64_t after);
    // As takeNewer, waiting until deadline at most for one to be published.
    int waitNewer(std::uint64_t after, Clock::time_point deadline);
    void giveBack(int slot);

    // Pictures replaced before a window took them, while one was taking
    // them: the windows were slower than the source.
    std::uint64_t notShown() const;
    // When the newest picture was published; none before the first.
    std::optional<Clock::time_point> newestAt() const;
    // Pictures published, ever.
    std::uint64_t published() const;

private:
    struct Slot {
        ff::Buffer memory;
        std::size_t capacity = 0;
        LivePicture picture;
        int leases = 0;
        bool acquired = false;
        bool taken = false; // leased at least once since it was published
    };

    bool watchedLocked(Clock::time_point now) const;

    std::vector<Slot> slots_;
    int newest_ = -1;
    std::uint64_t serial_ = 0;
    std::uint64_t notShown_ = 0;
    Clock::time_point newestAt_{};
    Clock::time_point lastTake_{};
    mutable std::mutex mutex_;
    std::condition_variable published_;
};

// A window's hold on one live picture: its memory stays untouched while the
// lease lives. Move-only; empty means "no new picture". Must not outlive the
// pictures it came from.
class LivePictureLease {
public:
    LivePictureLease() = default;
    LivePictureLease(LivePictures* pictures, int slot)
        : pictures_(slot >= 0 ? pictures : nullptr), slot_(slot) {}
    ~LivePictureLease() { reset(); }
    LivePictureLease(LivePictureLease&& other) noexcept
        : pictures_(std::exchange(other.pictures_, nullptr)),
          slot_(std::exchange(other.slot_, -1)) {}
    LivePictureLease& operator=(LivePictureLease&& other) noexcept {
        if (this != &other) {
            reset();
            pictures_ = std::exchange(other.pictures_, nullptr);
            slot_ = std::exchange(other.slot_, -1);
        }
        return *this;
    }
    LivePictureLease(const LivePictureLease&) = delete;
    LivePictureLease& operator=(const LivePictureLease&) = delete;

    explicit operator bool() const { return pictures_ != nullptr; }
    const LivePicture& operator*() const { return pictures_->picture(slot_); }
    const LivePicture* operator->() const { return &pictures_->picture(slot_); }

    void reset() {
        if (pictures_ != nullptr) {
            pictures_->giveBack(slot_);
            pictures_ = nullptr;
            slot_ = -1;
        }
    }

private:
    LivePictures* pictures_ = nullptr;
    int slot_ = -1;
};

} // namespace prismeta
