#pragma once

// The surfaces that are fading from one look to another after a GO. Each
// fading surface is drawn as the sum of its old look with weight 1 - p and its
// new look with weight p, premultiplied, with p = (t - start) / length clamped
// to 0..1 on the show clock. A fade is used only while the surface drawn still
// has the look it fades to: an editor change (or an undo) to a fading field
// ends that surface's fade at the new value.
//
// Immutable once made and shared (std::shared_ptr<const Crossfade>) between
// the show and every renderer, which read it on their own frames; a new GO
// makes a new one. Looking up an entry allocates nothing.

#include "core/Surface.h"
#include "core/Uuid.h"

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <vector>

namespace prismeta {

// p for a fade of length seconds started at start, at time now. A fade of no
// length (a cut) is complete from its start on.
double fadeProgress(double start, double length, double now);

struct FadingLook {
    Surface from;
    Surface to;
    double start = 0.0;
    double length = 0.0;

    double progress(double now) const { return fadeProgress(start, length, now); }
};

class Crossfade {
public:
    Crossfade() = default;

    // The fade for a GO at now from the surfaces before to the surfaces after,
    // over length seconds: every surface whose look changes fades from what is
    // on screen at now (running, a fade still going, may be null) to its new
    // look. Surfaces the GO leaves alone keep a fade of running that is still
    // going. A cut makes no entries, unless holdCut: then the surfaces it
    // changes show their old look until now (a GO set ahead of the clock).
    static std::shared_ptr<const Crossfade> start(const Crossfade* running,
                                                  const std::vector<Surface>& before,
                                                  const std::vector<Surface>& after, double now,
                                                  double length, bool holdCut = false);

    // The fade of the surface as drawn, if it is still in one at now: its
    // entry exists, it still has the look faded to, and p < 1.
    const FadingLook* find(const Surface& drawn, double now) const;

    // What the surface shows at now, as one look: exact for a change of
    // colour or opacity, and for a change of media the picture of the larger
    // weight with the opacity on screen. Shader inputs of the same shape mix
    // linearly, others switch at the middle (the declared types, which the
    // renderer mixes by, are not known here).
    Surface onScreen(const Surface& drawn, double now) const;

    // The time at which the last fade ends.
    double end() const { return end_; }
    std::size_t size() const { return entries_.size(); }

private:
    std::unordered_map<Uuid, FadingLook> entries_;
    double end_ = 0.0;
};

} // namespace prismeta
