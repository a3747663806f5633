#include "cluster/FollowedCues.h"

#include <algorithm>

namespace prismeta {

void FollowedCues::update(const ShowStateMessage& message, const SurfaceList& before,
                          const SurfaceList& after, ClockReading now) {
    bool changed = false;
    if (message.go != go_) {
        go_ = message.go;
        const ShowState converted = cueStateOf(message, now);
        state_.liveCue = converted.liveCue;
        state_.goTime = converted.goTime;
        state_.fade = converted.fade;
        if (go_) {
            looksOpen_ = true;
            goBefore_ = before;
            runningBefore_ = crossfade_;
            looksUntil_ = std::max(state_.goTime, now.steadySeconds + lateLooksSeconds);
            crossfade_ = Crossfade::start(runningBefore_.get(), goBefore_.vector(), after.vector(),
                                          state_.goTime, state_.fade, true);
        } else {
            crossfade_.reset();
            runningBefore_.reset();
            looksOpen_ = false;
        }
        changed = true;
    } else if (looksOpen_ && !after.sharesStorageWith(before)) {
        if (now.steadySeconds <= looksUntil_) {
            // The GO's looks (or more of them) came in.
            crossfade_ = Crossfade::start(runningBefore_.get(), goBefore_.vector(), after.vector(),
                                          state_.goTime, state_.fade, true);
            changed = true;
        } else {
            // An edit after the GO: ends a surface's fade at the new value.
            looksOpen_ = false;
            runningBefore_.reset();
            goBefore_ = SurfaceList();
        }
    }
    if (message.blackout != blackout_) {
        blackout_ = message.blackout;
        state_.blackout = cueStateOf(message, now).blackout;
        changed = true;
    }
    if (changed) {
        ++revision_;
    }
}

} // namespace prismeta
