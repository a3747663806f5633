#include "cluster/CueTiming.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace prismeta {

std::int64_t ClockReading::toShow(double steady) const {
    const double micros = std::round((steady - steadySeconds) * 1e6);
    // Beyond a century either way the value is nonsense: keep it finite.
    constexpr double limit = 3.2e15;
    const std::int64_t shift = static_cast<std::int64_t>(
        std::isfinite(micros) ? std::fmax(-limit, std::fmin(limit, micros)) : 0.0);
    return std::max<std::int64_t>(0, showMicros + shift); // no time before the epoch
}

double ClockReading::toSteady(std::int64_t show) const {
    return steadySeconds + static_cast<double>(show - showMicros) / 1e6;
}

ClockReading readClocks(const RealTimeClock& clock) {
    const auto steadyNow = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    ClockReading best;
    double tightest = std::numeric_limits<double>::infinity();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double before = steadyNow();
        const std::int64_t show = clock.nowMicros();
        const double after = steadyNow();
        if (after - before < tightest) {
            tightest = after - before;
            best = ClockReading{before + (after - before) / 2.0, show};
        }
    }
    return best;
}

void putCueState(ShowStateMessage& message, const ShowState& state, ClockReading now) {
    if (state.liveCue) {
        message.go = ShowStateMessage::Go{*state.liveCue, now.toShow(state.goTime), state.fade};
    } else {
        message.go.reset();
    }
    const Blackout& blackout = state.blackout;
    if (blackout == Blackout()) {
        message.blackout.reset(); // never switched
    } else {
        message.blackout = ShowStateMessage::BlackoutSwitch{blackout.on, now.toShow(blackout.start),
                                                            blackout.length, blackout.startLevel};
    }
}

ShowState cueStateOf(const ShowStateMessage& message, ClockReading now) {
    ShowState state;
    if (message.go) {
        state.liveCue = message.go->cue;
        state.goTime = now.toSteady(message.go->atMicros);
        state.fade = message.go->fade;
    }
    if (message.blackout) {
        state.blackout = Blackout{message.blackout->on, now.toSteady(message.blackout->atMicros),
                                  message.blackout->fade, message.blackout->fromLevel};
    }
    return state;
}

} // namespace prismeta
