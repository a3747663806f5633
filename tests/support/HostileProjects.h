#pragma once

#include <string>
#include <vector>

namespace prismeta::testing {

// A project file's bytes that try to break the reader, the model or the
// renderer. `mustLoad` says whether a sound reader accepts it (the file is
// valid JSON with every key and type right, however odd its values); files
// that must not load are expected to fail with the load line.
struct HostileProject {
    std::string name;
    std::string bytes;
    bool mustLoad = false;
};

std::vector<HostileProject> hostileProjects();

} // namespace prismeta::testing
