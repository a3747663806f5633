#include "app/document/UnsavedChangesGuard.h"

#include "app/document/DocumentDialogs.h"
#include "core/ProjectModel.h"

#include <utility>

namespace prismeta {

UnsavedChangesGuard::UnsavedChangesGuard(ProjectModel& model, DocumentDialogs& dialogs,
                                         std::function<bool()> save)
    : model_(model), dialogs_(dialogs), save_(std::move(save)) {}

bool UnsavedChangesGuard::mayDiscardChanges() {
    if (!model_.hasUnsavedChanges()) {
        return true;
    }
    switch (dialogs_.askToSaveChanges(projectDisplayName(model_))) {
    case DocumentDialogs::UnsavedChoice::save:
        return save_ && save_();
    case DocumentDialogs::UnsavedChoice::discard:
        return true;
    case DocumentDialogs::UnsavedChoice::cancel:
        return false;
    }
    return false;
}

QString projectDisplayName(const ProjectModel& model) {
    if (const auto& url = model.documentURL()) {
        const QString name = qStringFromPath(url->filename());
        if (!name.isEmpty()) {
            return name;
        }
    }
    return QStringLiteral("Untitled");
}

} // namespace prismeta
