#pragma once

#include "core/OutputConfig.h"
#include "core/ProjectModel.h"
#include "core/SurfaceList.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace prismeta {

// The parts of a show that travel between machines (records and
// project-wide fields), kept to compare a project a follower was started
// with against the show its leader publishes.
struct ShowSnapshot {
    SurfaceList surfaces;
    std::vector<OutputConfig> outputs;
    CanvasSize canvas;
    std::optional<std::string> backgroundImagePath;
    double backgroundOpacity = 0.0;
    // Surfaces the project's cues give looks to: their opacity, colour and
    // media are the live cue's business, not compared.
    std::unordered_set<Uuid> cued;

    static ShowSnapshot of(const ProjectModel& model);
};

// What differs between a project and the leader's show, in words, one item
// each ("surface \"Door\" differs", "surface \"Arch\" is not in the
// leader's show", "output \"Left\" is only in the leader's show", "the canvas
// size"); at most `limit` items, then "and N more". Empty when they agree.
std::vector<std::string> showDifferences(const ShowSnapshot& project, const ShowSnapshot& leader,
                                         std::size_t limit = 8);

} // namespace prismeta
