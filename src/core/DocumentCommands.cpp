#include "core/DocumentCommands.h"

namespace prismeta {

namespace {
CommandOutcome outcomeOf(const Status& status) {
    if (status) {
        return {CommandOutcome::Kind::saved, {}};
    }
    return {CommandOutcome::Kind::failed, status.error};
}
} // namespace

CommandOutcome saveProjectAs(ProjectModel& model, const LocationChooser& chooseLocation) {
    const std::optional<std::filesystem::path> location = chooseLocation();
    if (!location) {
        return {CommandOutcome::Kind::cancelled, {}};
    }
    return outcomeOf(model.save(*location));
}

CommandOutcome saveProject(ProjectModel& model, const LocationChooser& chooseLocation) {
    if (const auto& url = model.documentURL()) {
        return outcomeOf(model.save(*url));
    }
    return saveProjectAs(model, chooseLocation);
}

CommandOutcome openProject(ProjectModel& model, const LocationChooser& chooseFile) {
    const std::optional<std::filesystem::path> location = chooseFile();
    if (!location) {
        return {CommandOutcome::Kind::cancelled, {}};
    }
    return outcomeOf(model.load(*location));
}

} // namespace prismeta
