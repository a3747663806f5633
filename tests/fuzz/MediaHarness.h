#pragma once

#include "core/MediaKind.h"
#include "render/MediaBackend.h"

#include <initializer_list>
#include <string>

namespace prismeta::fuzz {

// A headless renderer that shows one file as the media of one surface, as
// the editor canvas would: the fuzz targets of stills and videos open their
// input through it, so it reaches a MediaSource, its decoder threads and the
// texture upload. Made once per process; one thread.
class MediaHarness {
public:
    // The process's harness around backend (made on the first call, later
    // backends are ignored); null when no headless GL context can be made.
    // Decoded pictures are limited to maxSide on either side, so that a
    // header claiming a large picture costs the fuzzer megabytes, not
    // gigabytes: the refusal and the scaling are the same code.
    static MediaHarness* get(const MediaBackend& backend, int maxSide);

    // Shows path as a surface of kind, draws one frame at each host time,
    // then turns the surface to a colour, which releases the source.
    struct Shown {
        bool picture = false;      // the last frame showed something other than the placeholder
        double releaseSeconds = 0; // how long releasing the source took
    };
    Shown show(MediaKind kind, const std::string& path, std::initializer_list<double> hostTimes);

    struct State;

private:
    explicit MediaHarness(State* state) : state_(state) {}
    State* state_;
};

} // namespace prismeta::fuzz
