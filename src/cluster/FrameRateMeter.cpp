#include "cluster/FrameRateMeter.h"

#include <cmath>

namespace prismeta {

void FrameRateMeter::frame(double time) {
    if (count_ > 0) {
        const double last = times_[(next_ + capacity - 1) % capacity];
        const double gap = time - last;
        if (gap > 1.5 * period_ && gap <= pauseSeconds) {
            dropped_ += static_cast<std::uint64_t>(std::lround(gap / period_)) - 1;
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

} // namespace prismeta
