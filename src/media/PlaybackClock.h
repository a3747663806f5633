#pragma once

#include "core/Uuid.h"

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// Membership in the process-wide playback of one surface's video, so that
// every renderer (the editor and each output window) shows the same picture at
// the same host time: where two projectors overlap under an edge blend, two
// different pictures would show as a double image.
//
// Playbacks are keyed by surface id and media signature. The first member
// starts the playback at its host time; later members join it and read the
// same start; when the last member is gone the playback ends, and the next
// member starts a new one. Each renderer's media source holds one member.
//
// A show decides starts itself: startAt() (re)starts a surface's playback at
// a given host time, before or after its members join, and every member reads
// the new start on its next frame. A member that joins `cued` (a video opened
// ahead of the GO that will show it) does not start the playback: it waits
// at media time 0 until startAt() or a plain member starts it.
//
// Meant for the interface thread, but safe from any thread, in any order of
// joining and leaving. Move-only; a moved-from member is no member.
class PlaybackClock {
public:
    // The start of a playback nothing has started yet.
    static constexpr double notStarted = std::numeric_limits<double>::infinity();

    enum class Join { start, cued };

    PlaybackClock(const Uuid& surface, std::string signature, double hostNow,
                  Join join = Join::start);
    ~PlaybackClock();
    PlaybackClock(PlaybackClock&& other) noexcept;
    PlaybackClock& operator=(PlaybackClock&& other) noexcept;
    PlaybackClock(const PlaybackClock&) = delete;
    PlaybackClock& operator=(const PlaybackClock&) = delete;

    // The host time (seconds) at which media time 0 of this playback is due;
    // notStarted while a cued playback waits. Lock-free; it changes when the
    // playback is started again.
    double start() const;
    // Starts a cued playback at hostNow (a member about to be shown finds
    // it still waiting: nothing started it); a started one is left alone.
    void startIfCued(double hostNow);

    // Starts the surface's playback of the media signature at hostStart
    // (seconds on the host clock: steady_clock, the renderers' frame time),
    // whether it runs already, is cued, or has no member yet. A start given
    // before any member joins is kept for the members to come, until the
    // playback ends with its last member, or until another start is given
    // for the same surface with another signature before any member came.
    // What a GO calls for the videos it starts, and what a machine following
    // another calls with the leader's starts in its own host time.
    static void startAt(const Uuid& surface, std::string_view signature, double hostStart);

    // Every started playback (cued ones are left out), ordered by surface id
    // and signature: what a leading machine hands to those that follow.
    struct Started {
        Uuid surface;
        std::string signature;
        double hostStart = 0.0;
    };
    static std::vector<Started> snapshot();

    // Playbacks running in the process, for tests.
    static std::size_t activePlaybacks();

    struct Playback;

private:
    void leave();

    Uuid surface_;
    std::string signature_;
    std::shared_ptr<Playback> playback_;
};

} // namespace prismeta
