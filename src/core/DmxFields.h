#pragma once

// The "dmx" keys of a project file, read leniently: nothing under them can
// make a project fail to open that would open without them.
//
// A surface's "dmx" is {"universe": 0..63999, "address": 1..512}; anything
// else leaves the surface unpatched, with one log line. The project's "dmx"
// is an object: a "master" patch read the same way, a "media" list of
// {"mediaKind", "mediaPath"} entries (an entry of no use keeps its number and
// stands for the surface's own media), "loss" ("hold" or "release"; anything
// else reads as not set) and "lossFade" (seconds, brought into
// 0..maxDmxLossFade). A "dmx" that is not an object is ignored with one line.

#include "core/DmxSettings.h"
#include "core/ProjectFile.h"
#include "core/RecordReader.h"
#include "core/Surface.h"

#include <memory>
#include <optional>
#include <string_view>

namespace prismeta::reading {

// A patch from its JSON value; nothing unless both members are whole
// numbers in range.
std::optional<DmxPatch> dmxPatchFrom(const json& value);

void readSurfaceDmx(Surface& surface, const json& value);

// The frame that reads the project's "dmx" value, and what a scalar or null
// there does (RecordFields.h, Field).
std::unique_ptr<Frame> openDmxSettings(ProjectFile& file, Container kind, const Frame& parent,
                                       std::string_view key);
Problem readDmxScalar(ProjectFile& file, Scalar& value);
void resetDmx(ProjectFile& file);

} // namespace prismeta::reading
