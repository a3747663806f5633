#pragma once

#include "core/Uuid.h"

#include <cstddef>
#include <string>

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
// Meant for the interface thread, but safe from any thread, in any order of
// joining and leaving. Move-only; a moved-from member is no member.
class PlaybackClock {
public:
    PlaybackClock(const Uuid& surface, std::string signature, double hostNow);
    ~PlaybackClock();
    PlaybackClock(PlaybackClock&& other) noexcept;
    PlaybackClock& operator=(PlaybackClock&& other) noexcept;
    PlaybackClock(const PlaybackClock&) = delete;
    PlaybackClock& operator=(const PlaybackClock&) = delete;

    // The host time (seconds) at which media time 0 of this playback is due.
    double start() const { return start_; }

    // Playbacks running in the process, for tests.
    static std::size_t activePlaybacks();

private:
    void leave();

    Uuid surface_;
    std::string signature_;
    double start_ = 0.0;
    bool member_ = false;
};

} // namespace prismeta
