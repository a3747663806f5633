#pragma once

#include "app/document/UnsavedChangesGuard.h"
#include "core/DocumentCommands.h"

#include <filesystem>

namespace prismeta {

class DocumentDialogs;
class ProjectModel;

// The document commands of the File menu and the toolbar: New Project,
// Open…, Save (the Save rule: to the project's file, or as Save As when it has
// none) and Save As…. New and Open ask first when there are unsaved changes.
// A failed open or save keeps the log line the model writes and also shows a
// warning naming the file and the reason, in which surfaces and outputs are
// counted from 1 and named ("surface 2 ("Wall")"); a cancelled dialog does
// nothing.
//
// Interface thread only. Borrows the model and the dialogs.
class DocumentController {
public:
    DocumentController(ProjectModel& model, DocumentDialogs& dialogs);

    void newProject();
    void open();
    // Opens a given file without asking anything (the file named at launch).
    bool openFile(const std::filesystem::path& file);
    // True when the project was written.
    bool save();
    bool saveAs();

    // The unsaved-changes question, for quitting.
    bool mayDiscardChanges() { return guard_.mayDiscardChanges(); }

private:
    bool reportSave(const CommandOutcome& outcome, const std::filesystem::path& target);

    ProjectModel& model_;
    DocumentDialogs& dialogs_;
    UnsavedChangesGuard guard_;
};

} // namespace prismeta
