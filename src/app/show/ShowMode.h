#pragma once

#include <filesystem>
#include <string>

namespace prismeta {

class OutputWindowRegistry;
class ProjectModel;

// Starts a show of `file` in an application whose output windows are placed
// in show mode (and whose missing-media watcher logs): reads the project
// without asking anything (a file that cannot be read is logged and the
// empty project shown), then opens the output windows a show opens, in show
// order. Nothing here shows a dialog, and the file is read once: replacing
// or deleting it while the show runs changes nothing on screen.
//
// Interface thread only.
void startShow(ProjectModel& model, OutputWindowRegistry& windows,
               const std::filesystem::path& file);

// A name as the show's log lines give it: quoted, and cut where a hand-made
// file made it huge.
std::string showLogName(const std::string& name);

} // namespace prismeta
