#include "cluster/ClockOffset.h"

namespace prismeta {

ClockSample clockSample(std::int64_t t1, std::int64_t t2, std::int64_t t3, std::int64_t t4) {
    ClockSample sample;
    sample.offsetMicros = ((t2 - t1) + (t3 - t4)) / 2;
    sample.delayMicros = (t4 - t1) - (t3 - t2);
    return sample;
}

void ClockOffsetFilter::add(const ClockSample& sample) {
    if (sample.delayMicros < 0) {
        return;
    }
    samples_[next_] = sample;
    next_ = (next_ + 1) % window;
    if (count_ < window) {
        ++count_;
    }
}

std::optional<ClockSample> ClockOffsetFilter::best() const {
    if (count_ == 0) {
        return std::nullopt;
    }
    ClockSample best = samples_[0];
    for (std::size_t i = 1; i < count_; ++i) {
        if (samples_[i].delayMicros < best.delayMicros) {
            best = samples_[i];
        }
    }
    return best;
}

} // namespace prismeta
