#pragma once

// How cues change surfaces. A cue changes only the surfaces and fields its
// looks list (as lighting desks track); geometry is never part of a look.
// Pure functions on plain values; any thread.

#include "core/Cue.h"
#include "core/Surface.h"

#include <cstddef>
#include <vector>

namespace prismeta {

// The fields of the look set on the surface.
void applyLook(Surface& surface, const CueLook& look);

// Whether two surfaces look the same: media kind, path, colour, opacity and
// shader inputs.
bool sameLook(const Surface& a, const Surface& b);

// The surfaces with the cue's looks applied. Looks naming surfaces that are
// not there are ignored (they come back into use with the surface).
std::vector<Surface> withCue(std::vector<Surface> surfaces, const Cue& cue);

// The tracked look of cues[index]: the surfaces with every cue from the first
// up to that one applied in list order, so a cue looks the same however it was
// reached. An index past the end applies them all.
std::vector<Surface> trackedLook(std::vector<Surface> surfaces, const std::vector<Cue>& cues,
                                 std::size_t index);

// The current look of every surface, as Record Cue and Update Cue store it;
// shader inputs for shader surfaces and surfaces that hold any.
std::vector<CueLook> currentLooks(const std::vector<Surface>& surfaces);

// How many look entries of the cues name surfaces the list lacks.
std::size_t looksForMissingSurfaces(const std::vector<Cue>& cues,
                                    const std::vector<Surface>& surfaces);

} // namespace prismeta
