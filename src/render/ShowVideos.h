#pragma once

#include "cues/CueVideos.h"
#include "media/VideoLengths.h"

namespace prismeta {

// The videos of a running show on this process's media: a GO starts a
// surface's video on the playback clock every renderer's source follows
// (PlaybackClock::startAt), and lengths are measured off the caller's thread
// (VideoLengths). Show clock and host clock are one here (steady_clock).
class ShowVideos final : public CueVideos {
public:
    void start(const Surface& surface, double showTime) override;
    Length length(const std::string& path) const override;
    std::optional<double> startOf(const Surface& surface) const override;

    // Waits for the lengths asked for so far (tests, the command-line tool).
    void waitForLengths() { lengths_.waitIdle(); }

private:
    mutable VideoLengths lengths_;
};

} // namespace prismeta
