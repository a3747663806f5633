#pragma once

#include "cluster/ClusterMessages.h"
#include "cluster/CueTiming.h"
#include "core/SurfaceList.h"
#include "cues/Crossfade.h"
#include "cues/ShowState.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace prismeta {

// What a follower draws of the leader's cues: the live cue, its fade and the
// blackout on this machine's steady clock, and the crossfade of the GO.
//
// The leader applies a cue's looks to its surfaces at once and publishes the
// GO for a moment ~100 ms ahead; the looks arrive as surface records, just
// after the show message. So the crossfade runs from the surfaces this
// machine showed when the GO arrived to those it holds once the looks have
// come in: it is made again whenever the surfaces change until the GO's time
// (or, for a GO that arrives late, for a short while after its arrival), and
// draws nothing of the new look before that time. A late GO starts at once
// at the right place of its fade. Later edits end a surface's fade at the new
// value, as on the leader.
//
// One thread (the follower's).
class FollowedCues {
public:
    // How long after a late GO's arrival its looks may still come in.
    static constexpr double lateLooksSeconds = 0.25;

    // After each frame's messages: the leader's state, and the model's
    // surfaces before and after this frame's records were applied. Allocates
    // nothing unless a GO, a blackout or the looks of a GO came in.
    void update(const ShowStateMessage& message, const SurfaceList& before,
                const SurfaceList& after, ClockReading now);

    const ShowState& state() const { return state_; }
    // Null until the first GO.
    const std::shared_ptr<const Crossfade>& crossfade() const { return crossfade_; }
    // Bumped whenever state() or crossfade() changes.
    std::uint64_t revision() const { return revision_; }

private:
    std::optional<ShowStateMessage::Go> go_;
    std::optional<ShowStateMessage::BlackoutSwitch> blackout_;
    ShowState state_;
    std::shared_ptr<const Crossfade> crossfade_;
    // The GO whose looks may still come in: the surfaces and the fade on
    // screen when it arrived, and until when (steady clock).
    SurfaceList goBefore_;
    std::shared_ptr<const Crossfade> runningBefore_;
    double looksUntil_ = -1.0;
    bool looksOpen_ = false;
    std::uint64_t revision_ = 0;
};

} // namespace prismeta
