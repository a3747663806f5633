#include "cluster/FrameRateMeter.h"

#include <cmath>

namespace prismeta {

void FrameRateMeter::frame(double time) {
    if (count_ > 0) {
        const double last = times_[(next_ + capacity - 1) % capacity];
        const double gap = time - last;
        if (gap > 1.5 * period_ && gap <= pauseSeconds) {
            stalls_[nextStall_] = {time,
                                   static_cast<std::uint64_t>(std::lround(gap / period_)) - 1};
            nextStall_ = (nextStall_ + 1) % stallCapacity;
            if (stallCount_ < stallCapacity) {
                ++stallCount_;
            }
        }
    }
    times_[next_] = time;
    next_ = (next_ + 1) % capacity;
    if (count_ < capacity) {
        ++count_;
    }
}

double FrameRateMeter::framesPerSecond(double now) const {
    std::size_t frames = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        const double time = times_[(next_ + capacity - 1 - i) % capacity];
        if (now - time > 1.0) {
            break;
        }
        ++frames;
    }
    return static_cast<double>(frames);
}

std::uint64_t FrameRateMeter::dropped(double now) const {
    std::uint64_t missed = 0;
    for (std::size_t i = 0; i < stallCount_; ++i) {
        const Stall& stall = stalls_[(nextStall_ + stallCapacity - 1 - i) % stallCapacity];
        if (now - stall.time > stallWindowSeconds) {
            break;
        }
        missed += stall.missed;
    }
    return missed;
}

} // namespace prismeta
