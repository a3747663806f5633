#pragma once

// The surfaces a document holds while a running show puts other looks on
// screen. A GO changes only the fields a cue sets (opacity, colour, media
// kind and path, shader inputs) and never which surfaces there are or their
// order, so the document's own list and the one on screen differ in those
// fields alone. Pure functions on plain values; any thread.

#include "core/SurfaceList.h"

namespace prismeta {

// Whether the fields a cue sets are the same in both.
bool sameCueFields(const Surface& a, const Surface& b);

// The document's own surfaces after an edit made while a show's look is on
// screen: the edit (from `before` to `after`, both lists on screen) carried
// over to `own`. The result has after's surfaces in after's order with
// everything that is not a cue field (geometry, names, masks, playback)
// taken from after; of the cue fields, those the edit changed come from
// after and the others from own. Surfaces are matched by id (by position
// first, which is where they are unless the edit moved them); a surface the
// edit added is after's as it is.
SurfaceList carryEdit(const SurfaceList& own, const SurfaceList& before, const SurfaceList& after);

} // namespace prismeta
