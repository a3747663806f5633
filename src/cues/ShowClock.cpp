#include "cues/ShowClock.h"

#include <chrono>

namespace prismeta {

double SteadyShowClock::now() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count();
}

std::int64_t SystemWallClock::now() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(now).count();
}

} // namespace prismeta
