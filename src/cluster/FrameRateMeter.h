#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace prismeta {

// What a machine reports about its frames: how many it drew in the last
// second, and how many pictures it dropped in the last minute (so a stall
// once, a window opening, does not warn for the rest of the show): a frame
// that came later than one and a half periods after the one before, while
// frames were running back to back, stands for the frames missed in between.
// A pause (nothing to draw for a while) is no drop. Times in seconds on a
// steady clock, never decreasing. Allocates nothing. One thread.
class FrameRateMeter {
public:
    explicit FrameRateMeter(double nominalRate = 60.0) : period_(1.0 / nominalRate) {}

    void frame(double time);
    // Frames drawn within the second before now.
    double framesPerSecond(double now) const;
    // Pictures dropped within the minute before now.
    std::uint64_t dropped(double now) const;

private:
    // Longer than this between frames is a pause, not a stall.
    static constexpr double pauseSeconds = 0.5;
    static constexpr std::size_t capacity = 512; // frames a second, at most

    double period_;
    std::array<double, capacity> times_{};
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    // The latest stalls: when, and how many pictures each missed.
    struct Stall {
        double time = 0.0;
        std::uint64_t missed = 0;
    };
    static constexpr std::size_t stallCapacity = 256;
    static constexpr double stallWindowSeconds = 60.0;
    std::array<Stall, stallCapacity> stalls_{};
    std::size_t nextStall_ = 0;
    std::size_t stallCount_ = 0;
};

} // namespace prismeta
