#include "app/DocumentController.h"

#include "app/DocumentDialogs.h"
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
        dialogs_.reportFailure(DocumentDialogs::Failure::open, file,
                               QString::fromStdString(loaded.error));
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
        dialogs_.reportFailure(DocumentDialogs::Failure::save, target,
                               QString::fromStdString(outcome.error));
    }
    return outcome.succeeded();
}

} // namespace prismeta
