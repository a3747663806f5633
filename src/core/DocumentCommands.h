#pragma once

#include "core/ProjectModel.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace prismeta {

// Asks the user for a location (a save dialog); nothing when cancelled.
using LocationChooser = std::function<std::optional<std::filesystem::path>()>;

struct CommandOutcome {
    enum class Kind { saved, cancelled, failed };
    Kind kind = Kind::saved;
    std::string error; // the description when failed

    bool succeeded() const { return kind == Kind::saved; }
};

// "Save As": ask for a location, then save there.
CommandOutcome saveProjectAs(ProjectModel& model, const LocationChooser& chooseLocation);

// "Save": save to documentURL when the project has one, otherwise as "Save As".
CommandOutcome saveProject(ProjectModel& model, const LocationChooser& chooseLocation);

// "Open…": ask for a file, then load it. Cancelled leaves the model alone.
CommandOutcome openProject(ProjectModel& model, const LocationChooser& chooseFile);

} // namespace prismeta
