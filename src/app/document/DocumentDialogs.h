#pragma once

#include "app/document/FileDialogs.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace prismeta {

struct CollectReport;
class RelinkSession;

// A long task's progress, shown while the task runs on another thread.
class TaskProgress {
public:
    virtual ~TaskProgress() = default;
    virtual void update(std::uint64_t done, std::uint64_t total, const QString& label) = 0;
    virtual bool cancelRequested() const = 0;
};

// Every question the document commands ask the user goes through this one
// seam, so tests replace the modal dialogs with scripted answers.
//
// Interface thread only. Owned by the application; the commands borrow it.
class DocumentDialogs {
public:
    enum class UnsavedChoice { save, discard, cancel };
    enum class Failure { open, save };

    virtual ~DocumentDialogs() = default;

    // A project file to open; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseProjectToOpen() = 0;
    // Where to save the project; none when cancelled.
    virtual std::optional<std::filesystem::path> chooseSaveLocation() = 0;
    // Save / Don't Save / Cancel before unsaved changes would be discarded.
    virtual UnsavedChoice askToSaveChanges(const QString& documentName) = 0;
    // A failed open or save: names the file and gives the reason.
    virtual void reportFailure(Failure failure, const std::filesystem::path& file,
                               const QString& reason) = 0;

    // Relink Missing Media…: the session's missing files and where each was
    // found; the user may have folders searched and picks which to relink.
    // True when the user relinks the session's accepted files.
    virtual bool reviewMissingMedia(RelinkSession& session) = 0;

    // Collect Project…: the folder to collect into (starting in startIn);
    // none when cancelled.
    virtual std::optional<std::filesystem::path>
    chooseCollectFolder(const std::optional<std::filesystem::path>& startIn) = 0;
    enum class ExistingFilesChoice { replace, keepBoth, cancel };
    // Files the collect would write are there already.
    virtual ExistingFilesChoice
    askToReplaceFiles(const std::vector<std::filesystem::path>& files) = 0;
    // Shown until the returned object is destroyed.
    virtual std::unique_ptr<TaskProgress> showProgress(const QString& title) = 0;
    // What the collect copied and what it could not.
    virtual void reportCollect(const CollectReport& report) = 0;
};

// The modal Qt dialogs, parented to a window given later (the main window).
// The open and save dialogs start at the project's file, which they learn
// from `projectFile` (the model's documentURL).
class WidgetDocumentDialogs final : public DocumentDialogs {
public:
    void setParentWindow(QWidget* parent) { parent_ = parent; }
    void setProjectFile(std::function<std::optional<std::filesystem::path>()> projectFile) {
        projectFile_ = std::move(projectFile);
    }

    std::optional<std::filesystem::path> chooseProjectToOpen() override;
    std::optional<std::filesystem::path> chooseSaveLocation() override;
    UnsavedChoice askToSaveChanges(const QString& documentName) override;
    void reportFailure(Failure failure, const std::filesystem::path& file,
                       const QString& reason) override;

    // In RelinkMediaDialog.cpp and CollectDialogs.cpp.
    bool reviewMissingMedia(RelinkSession& session) override;
    std::optional<std::filesystem::path>
    chooseCollectFolder(const std::optional<std::filesystem::path>& startIn) override;
    ExistingFilesChoice askToReplaceFiles(const std::vector<std::filesystem::path>& files) override;
    std::unique_ptr<TaskProgress> showProgress(const QString& title) override;
    void reportCollect(const CollectReport& report) override;

private:
    std::optional<std::filesystem::path> projectFile() const;

    QWidget* parent_ = nullptr;
    std::function<std::optional<std::filesystem::path>()> projectFile_;
};

// The file name proposed by the save dialog of a project never saved.
inline constexpr const char* proposedProjectFileName = "Untitled.prismeta.json";

// The project dialogs' requests, for the project at `project` (none for a
// project never saved): JSON files ("Project files (*.json)", any letter
// case); they start in the project's folder, else the folder last used for
// projects, else home. Saving proposes the project's own name, or
// "Untitled.prismeta.json" for one never saved, adds "json" to a name typed
// without a suffix, and lets the user make folders.
FileDialogRequest openProjectRequest(const std::optional<std::filesystem::path>& project);
FileDialogRequest saveProjectRequest(const std::optional<std::filesystem::path>& project);

// A file-system path from a dialog's text, and back, in the locale's file
// name encoding.
std::filesystem::path pathFromQString(const QString& text);
QString qStringFromPath(const std::filesystem::path& path);

} // namespace prismeta
