#include "app/document/DocumentController.h"

#include "app/document/DocumentDialogs.h"
#include "app/document/ProblemText.h"
#include "core/ProjectFileScan.h"
#include "core/ProjectModel.h"

#include <QString>

namespace prismeta {

DocumentController::DocumentController(ProjectModel& model, DocumentDialogs& dialogs)
    : model_(model), dialogs_(dialogs), guard_(model, dialogs, [this] { return save(); }) {}

void DocumentController::newProject() {
    if (guard_.mayDiscardChanges()) {
        model_.newProject();
    }
}

void DocumentController::open() {
    // The file first: a cancelled dialog asks nothing and changes nothing.
    const std::optional<std::filesystem::path> file = dialogs_.chooseProjectToOpen();
    if (!file || !guard_.mayDiscardChanges()) {
        return;
    }
    openFile(*file);
}

bool DocumentController::openFile(const std::filesystem::path& file) {
    const Status loaded = model_.load(file);
    if (!loaded) {
        // The names come from the file: the model still holds the project
        // that was open before.
        dialogs_.reportFailure(
            DocumentDialogs::Failure::open, file,
            describeForPeople(loaded.error, [&file](std::string_view list, std::size_t index) {
                return listedNameInProjectFile(file, list, index);
            }));
    }
    return loaded.ok;
}

bool DocumentController::save() {
    std::filesystem::path target;
    if (model_.documentURL()) {
        target = *model_.documentURL();
    }
    const CommandOutcome outcome = saveProject(model_, [this, &target] {
        auto location = dialogs_.chooseSaveLocation();
        if (location) {
            target = *location;
        }
        return location;
    });
    return reportSave(outcome, target);
}

bool DocumentController::saveAs() {
    std::filesystem::path target;
    const CommandOutcome outcome = saveProjectAs(model_, [this, &target] {
        auto location = dialogs_.chooseSaveLocation();
        if (location) {
            target = *location;
        }
        return location;
    });
    return reportSave(outcome, target);
}

bool DocumentController::reportSave(const CommandOutcome& outcome,
                                    const std::filesystem::path& target) {
    if (outcome.kind == CommandOutcome::Kind::failed) {
        dialogs_.reportFailure(
            DocumentDialogs::Failure::save, target,
            describeForPeople(
                outcome.error,
                [this](std::string_view list, std::size_t index) -> std::optional<std::string> {
                    if (list == "surfaces" && index < model_.surfaces().size()) {
                        return model_.surfaces()[index].name;
                    }
                    if (list == "outputs" && index < model_.outputs().size()) {
                        return model_.outputs()[index].name;
                    }
                    return std::nullopt;
                }));
    }
    return outcome.succeeded();
}

} // namespace prismeta
