#include "cluster/RealTimeClock.h"

#include <time.h>

namespace prismeta {

std::int64_t SystemRealTimeClock::nowMicros() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1'000;
}

} // namespace prismeta
