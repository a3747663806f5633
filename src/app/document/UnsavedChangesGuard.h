#pragma once

#include <QString>

#include <functional>

namespace prismeta {

class DocumentDialogs;
class ProjectModel;

// Stands before every command that would discard the open project (New
// Project, Open…, quitting): when the project differs from the file it was
// last loaded from or saved to, asks Save / Don't Save / Cancel. Save runs the
// Save command; a Save that is cancelled or fails stops the caller too.
//
// Interface thread only. Borrows the model, the dialogs and the save command.
class UnsavedChangesGuard {
public:
    UnsavedChangesGuard(ProjectModel& model, DocumentDialogs& dialogs, std::function<bool()> save);

    // True when the caller may go on and replace the project.
    bool mayDiscardChanges();

private:
    ProjectModel& model_;
    DocumentDialogs& dialogs_;
    std::function<bool()> save_;
};

// What the user calls the open project: the file's name, or "Untitled".
QString projectDisplayName(const ProjectModel& model);

} // namespace prismeta
