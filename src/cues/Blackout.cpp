#include "cues/Blackout.h"

#include "cues/Crossfade.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

double Blackout::level(double now) const {
    const double target = on ? 1.0 : 0.0;
    const double p = fadeProgress(start, length, now);
    return std::clamp(startLevel + (target - startLevel) * p, 0.0, 1.0);
}

Blackout Blackout::switched(bool blackout, double now, double fade) const {
    if (blackout == on) {
        return *this;
    }
    const double from = level(now);
    const double target = blackout ? 1.0 : 0.0;
    // A switch back halfway takes the share of the fade that is left to go.
    const double fadeLeft = std::max(fade, 0.0) * std::abs(target - from);
    return Blackout{blackout, now, fadeLeft, from};
}

} // namespace prismeta
