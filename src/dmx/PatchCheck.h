#pragma once

// What a project's DMX patch gets wrong: two fixtures that share a channel
// (both follow it; on a desk that is sometimes meant, so it is a report, not
// a refusal), and fixtures past the end of their universe (not driven).

#include <cstddef>
#include <string>
#include <vector>

namespace prismeta {

class ProjectModel;

struct PatchCheck {
    std::size_t fixtures = 0; // surface fixtures and the show fixture
    // One line each: `surfaces "Wall" and "Floor" share universe 1, channels 5..9`.
    std::vector<std::string> problems;
};

PatchCheck checkPatch(const ProjectModel& model);

} // namespace prismeta
