#include "media/HostClock.h"

#include <chrono>

namespace prismeta {

double hostSeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace prismeta
