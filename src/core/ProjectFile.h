#pragma once

#include "core/ClusterSettings.h"
#include "core/Cue.h"
#include "core/DmxSettings.h"
#include "core/OutputConfig.h"
#include "core/Result.h"
#include "core/Surface.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The record a project file holds. It exists only while a file is written or
// read; the live document is ProjectModel.
struct ProjectFile {
    double canvasWidth = 1920.0;
    double canvasHeight = 1080.0;
    std::vector<Surface> surfaces;
    std::vector<OutputConfig> outputs;
    std::optional<std::string> backgroundImagePath;
    double backgroundOpacity = 0.5;
    // The show's cues in order; the key is written only when there are any.
    std::vector<Cue> cues;
    std::optional<ClusterSettings> cluster;
    std::optional<DmxSettings> dmx;

    friend bool operator==(const ProjectFile&, const ProjectFile&) = default;
};

// The bytes of the JSON document: keys sorted in every object, pretty-printed
// with two spaces, absent optionals left out, a final newline. 32-bit fields
// are written in the shortest text that reads back to the same float; an
// output's blend curve keys only where they differ from their defaults. Fails as
// a whole (no bytes) when a number is not finite or a text is not valid UTF-8.
Result<std::string> writeProjectFile(const ProjectFile& file);

// Reads a document written by writeProjectFile or any equivalent JSON. Fails
// as a whole on text that is not JSON (with line and column), a missing
// required key, a value of the wrong type or range, an unknown media kind or
// an id that is not a UUID; the description names the key path, for example
// `surfaces[1].mediaKind: "Video" is not a media kind`. Unknown keys are
// ignored, null reads as absent for optional keys, and of duplicate keys the
// last one wins. An output's blend curve keys ("blendCurve", "blendGamma",
// "blackLevel") never fail the read: a value that is not a number reads as the
// default and a number outside its range as the nearest end of it. Nor does
// its "display": one that is not a usable display (wrong types, an absurd
// rectangle) leaves the output unplaced, and nothing under "cues"
// (CueFields.h) fails a load. Masks ("masks" of surfaces and outputs) are
// read strictly, as corners are, except that a mask that cannot be drawn
// whole is kept and logged in one line (MaskLimits.h); the feather is brought
// into its range. An output's "warp" and "blendMap" never fail it either: a
// warp that is not an object with four corner points, or a blend map that is
// not a text, is dropped with one line naming the output's place
// ("outputs[1].warp"), and so is a warp's mesh that does not read or whose
// point count is not its grid's (the corners stay). These lines are logged
// only when the whole document reads.
//
// The text is read straight into the records as it is parsed, without a
// document tree, so memory stays a small multiple of the text; unknown keys
// cost none. Running out of memory fails the read ("out of memory while
// reading the project") instead of ending the process. The keys of each
// record, and how to add one, are in ProjectFileReader.cpp and RecordFields.h.
Result<ProjectFile> readProjectFile(std::string_view bytes);

} // namespace prismeta
