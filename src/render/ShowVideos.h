#pragma once

#include "core/MediaLocations.h"
#include "cues/CueVideos.h"
#include "media/VideoLengths.h"

#include <memory>

namespace prismeta {

// The videos of a running show on this process's media: a GO starts a
// surface's video on the playback clock every renderer's source follows
// (PlaybackClock::startAt), and lengths are measured off the caller's thread
// (VideoLengths). Show clock and host clock are one here (steady_clock).
class ShowVideos final : public CueVideos {
public:
    void start(const Surface& surface, double showTime) override;
    // The length of the file shown for the stored path: where a moved file
    // was found, when it was (setLocations).
    Length length(const std::string& path) const override;
    std::optional<double> startOf(const Surface& surface) const override;

    // Where media missing at their stored paths were found (the renderers'
    // locations); none by default.
    void setLocations(std::shared_ptr<const MediaLocations> locations) {
        locations_ = std::move(locations);
    }

    // Waits for the lengths asked for so far (tests, the command-line tool).
    void waitForLengths() { lengths_.waitIdle(); }

private:
    mutable VideoLengths lengths_;
    std::shared_ptr<const MediaLocations> locations_;
};

} // namespace prismeta
