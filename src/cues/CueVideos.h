#pragma once

// What running cues needs of the media layer, which the cues know nothing
// of: starting a surface's video at a GO, and a video file's length, for
// follows on the end of once-playing videos. The media layer implements it
// (render/ShowVideos.h); a runner without one starts no videos itself (they
// start when first drawn) and no follow waits for a video's end.

#include "core/Surface.h"

#include <optional>
#include <string>

namespace prismeta {

class CueVideos {
public:
    virtual ~CueVideos() = default;

    // The surface's video (its kind and path as given) plays from its first
    // picture at showTime, on every renderer. Cheap: called at a GO for every
    // video the GO starts, on the runner's thread.
    virtual void start(const Surface& surface, double showTime) = 0;

    // How a video file plays once, from its first picture to the end of its
    // last one.
    struct Length {
        enum class State { measuring, known, unplayable };
        State state = State::measuring;
        double seconds = 0.0;
    };
    // Never blocks: the first question about a path starts its measurement
    // elsewhere, and the answer is `measuring` until it is in.
    virtual Length length(const std::string& path) const = 0;

    // When the surface's video (its kind and path) was started to play from
    // its first picture, if it plays; none where that is not known. A paused
    // picture resumes by starting the video again that much later.
    virtual std::optional<double> startOf(const Surface&) const { return std::nullopt; }
};

} // namespace prismeta
