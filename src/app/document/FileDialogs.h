#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <vector>

class QFileDialog;
class QWidget;

namespace prismeta {

// The one place that makes the application's file and folder dialogs, so
// that every question about a file looks and behaves alike: plain filter
// names ("Project files (*.json)") that match in any letter case, a size
// with room for the names and columns, and a start in the folder the user
// expects. Dialogs are reached through the seams (DocumentDialogs,
// InspectorDialogs, and those that come after them), which build a
// FileDialogRequest and hand it here; tests check the request and the
// configured dialog without showing it.
//
// Qt's own dialog is used everywhere: a desktop's native dialog would bring
// its own matching rules (some match extensions case-sensitively), size and
// start folder.
//
// Interface thread only.

// One entry of the dialog's type menu.
struct FileTypeFilter {
    QString label;          // "Project files"
    QStringList extensions; // lower case, without the dot: {"json"}
};

// "Project files (*.json)"; with no extensions, "Label (*)".
QString nameFilterText(const FileTypeFilter& filter);

struct FileDialogRequest {
    enum class Mode { openFile, saveFile, chooseFolder };

    Mode mode = Mode::openFile;
    QString title;
    // The type menu, the first entry chosen; empty offers every file.
    std::vector<FileTypeFilter> filters;
    // Where it opens (an absolute folder); empty: the user's home folder.
    QString folder;
    // Saving: the name offered, and the suffix added to a name typed without
    // one ("json").
    QString proposedName;
    QString defaultSuffix;
    // Which remembered folder it starts from and updates ("project", "media").
    QString purpose;
    // The accept button's text when it is not the mode's own ("Search").
    QString acceptLabel;
    // Choosing a folder: whether the user may make one in the dialog.
    bool mayMakeFolders = false;
};

// The size a dialog opens at where the screen has room: the file names and
// the size, type and date columns all show.
inline constexpr QSize fileDialogSize{900, 560};

// Applies the request to the dialog (size bounded by the screen it will show
// on).
void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request);

// Shows the dialog modally over parent. The chosen file or folder as an
// absolute path, remembered as the purpose's last folder; none when
// cancelled.
std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request);

// Where a dialog for `purpose` starts: the folder last chosen in for that
// purpose in this session, else the folder of the open project (when it has
// a file), else the user's home folder. Folders that no longer exist are
// passed over. Nothing is remembered between runs.
QString startFolder(const QString& purpose, const std::optional<std::filesystem::path>& project);
// The folder of a project file, when it still exists; empty otherwise.
QString existingProjectFolder(const std::optional<std::filesystem::path>& project);
void rememberFolder(const QString& purpose, const QString& chosenPath);
// Forgets every remembered folder (tests).
void forgetFolders();

} // namespace prismeta
