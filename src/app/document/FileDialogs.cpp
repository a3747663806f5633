#include "app/document/FileDialogs.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QHeaderView>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>

namespace prismeta {

namespace {

QHash<QString, QString>& rememberedFolders() {
    static QHash<QString, QString> folders;
    return folders;
}

// Qt's file dialog keeps a list view of the folder beside its detail view
// and hides whichever is not in use. Qt 6.4 exposes that list to assistive
// technology as a table of the model's four columns while it shows one, so a
// screen reader walking the dialog is answered with "QAccessibleTable::child:
// Invalid index" for cells that do not exist. The dialogs here keep to the
// detail view (their list mode is not offered), so the hidden list is
// exposed as a plain, empty list.
QAccessibleInterface* hiddenFolderList(const QString& className, QObject* object) {
    if (className != QLatin1String("QListView") ||
        object->objectName() != QLatin1String("listView")) {
        return nullptr;
    }
    for (QObject* up = object->parent(); up != nullptr; up = up->parent()) {
        if (qobject_cast<QFileDialog*>(up) != nullptr) {
            return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::List);
        }
    }
    return nullptr;
}

// Before the first dialog is made: its views' accessible interfaces are made
// with it while assistive technology listens.
void installAccessibleFolderList() {
    static const bool installed = [] {
        QAccessible::installFactory(hiddenFolderList);
        return true;
    }();
    Q_UNUSED(installed);
}

void exposeOnlyTheDetailView(QFileDialog& dialog) {
    dialog.setViewMode(QFileDialog::Detail);
    for (const char* name : {"listModeButton", "detailModeButton"}) {
        if (auto* button = dialog.findChild<QWidget*>(QLatin1String(name))) {
            button->hide();
        }
    }
}

QString existingFolder(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

} // namespace

QString nameFilterText(const FileTypeFilter& filter) {
    QStringList patterns;
    for (const QString& extension : filter.extensions) {
        patterns << QStringLiteral("*.") + extension;
    }
    if (patterns.isEmpty()) {
        patterns << QStringLiteral("*");
    }
    return filter.label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request) {
    installAccessibleFolderList();
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(request.title);
    switch (request.mode) {
    case FileDialogRequest::Mode::openFile:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case FileDialogRequest::Mode::saveFile:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::ReadOnly, false); // lets the user make folders
        break;
    case FileDialogRequest::Mode::chooseFolder:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setOption(QFileDialog::ReadOnly, !request.mayMakeFolders);
        break;
    }
    // Qt's dialog matches these patterns in any letter case: the filter
    // flags it is given carry no QDir::CaseSensitive.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QStringList filters;
    for (const FileTypeFilter& filter : request.filters) {
        filters << nameFilterText(filter);
    }
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    dialog.setDirectory(request.folder.isEmpty() ? QDir::homePath() : request.folder);
    if (!request.acceptLabel.isEmpty()) {
        dialog.setLabelText(QFileDialog::Accept, request.acceptLabel);
    }
    if (request.mode == FileDialogRequest::Mode::saveFile) {
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (!request.proposedName.isEmpty()) {
            dialog.selectFile(request.proposedName);
        }
    }

    // Room for the names and every column, bounded by the screen.
    QSize size = fileDialogSize;
    const QWidget* parent = dialog.parentWidget();
    if (const QScreen* screen =
            parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 0.9);
    }
    dialog.resize(size.expandedTo(dialog.minimumSizeHint()));
    exposeOnlyTheDetailView(dialog);
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        // Size, type and date as wide as they need; the name takes the rest.
        QHeaderView* header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (auto* panes = dialog.findChild<QSplitter*>(QStringLiteral("splitter"))) {
        // Room for the names of the places in the sidebar.
        const int sidebar = dialog.fontMetrics().horizontalAdvance(QLatin1Char('M')) * 12;
        panes->setSizes({sidebar, std::max(dialog.width() - sidebar, sidebar)});
    }
}

std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request) {
    installAccessibleFolderList();
    QFileDialog dialog(parent);
    configureFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = QFileInfo(files.front()).absoluteFilePath();
    rememberFolder(request.purpose, chosen);
    return chosen;
}

QString existingProjectFolder(const std::optional<std::filesystem::path>& project) {
    if (!project) {
        return {};
    }
    return existingFolder(
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(project->native()))).absolutePath());
}

QString startFolder(const QString& purpose, const std::optional<std::filesystem::path>& project) {
    QString folder = existingFolder(rememberedFolders().value(purpose));
    if (folder.isEmpty()) {
        folder = existingProjectFolder(project);
    }
    return folder.isEmpty() ? QDir::homePath() : folder;
}

void rememberFolder(const QString& purpose, const QString& chosenPath) {
    if (purpose.isEmpty() || chosenPath.isEmpty()) {
        return;
    }
    const QFileInfo chosen(chosenPath);
    rememberedFolders().insert(purpose,
                               chosen.isDir() ? chosen.absoluteFilePath() : chosen.absolutePath());
}

void forgetFolders() {
    rememberedFolders().clear();
}

} // namespace prismeta
