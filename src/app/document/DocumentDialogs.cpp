#include "app/document/DocumentDialogs.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>

namespace prismeta {

namespace {

const QString projectPurpose = QStringLiteral("project");

FileTypeFilter projectFiles() {
    return {QObject::tr("Project files"), {QStringLiteral("json")}};
}

QString projectStartFolder(const std::optional<std::filesystem::path>& project) {
    const QString folder = existingProjectFolder(project);
    return folder.isEmpty() ? startFolder(projectPurpose, std::nullopt) : folder;
}

} // namespace

std::filesystem::path pathFromQString(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

QString qStringFromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

FileDialogRequest openProjectRequest(const std::optional<std::filesystem::path>& project) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::openFile;
    request.title = QObject::tr("Open Project");
    request.filters = {projectFiles()};
    request.folder = projectStartFolder(project);
    request.purpose = projectPurpose;
    return request;
}

FileDialogRequest saveProjectRequest(const std::optional<std::filesystem::path>& project) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::saveFile;
    request.title = QObject::tr("Save Project");
    request.filters = {projectFiles()};
    request.folder = projectStartFolder(project);
    request.proposedName = project && project->has_filename()
                               ? qStringFromPath(project->filename())
                               : QString::fromLatin1(proposedProjectFileName);
    request.defaultSuffix = QStringLiteral("json");
    request.purpose = projectPurpose;
    return request;
}

std::optional<std::filesystem::path> WidgetDocumentDialogs::projectFile() const {
    return projectFile_ ? projectFile_() : std::nullopt;
}

std::optional<std::filesystem::path> WidgetDocumentDialogs::chooseProjectToOpen() {
    const std::optional<QString> chosen = runFileDialog(parent_, openProjectRequest(projectFile()));
    return chosen ? std::optional(pathFromQString(*chosen)) : std::nullopt;
}

std::optional<std::filesystem::path> WidgetDocumentDialogs::chooseSaveLocation() {
    const std::optional<QString> chosen = runFileDialog(parent_, saveProjectRequest(projectFile()));
    return chosen ? std::optional(pathFromQString(*chosen)) : std::nullopt;
}

DocumentDialogs::UnsavedChoice
WidgetDocumentDialogs::askToSaveChanges(const QString& documentName) {
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Prismeta"));
    box.setText(QObject::tr("Do you want to save the changes made to “%1”?").arg(documentName));
    box.setInformativeText(QObject::tr("Your changes will be lost if you don’t save them."));
    QPushButton* save = box.addButton(QMessageBox::Save);
    QPushButton* discard = box.addButton(QMessageBox::Discard);
    discard->setText(QObject::tr("Don’t Save"));
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return UnsavedChoice::save;
    }
    if (box.clickedButton() == discard) {
        return UnsavedChoice::discard;
    }
    return UnsavedChoice::cancel;
}

void WidgetDocumentDialogs::reportFailure(Failure failure, const std::filesystem::path& file,
                                          const QString& reason) {
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Prismeta"));
    const QString name = qStringFromPath(file);
    box.setText(failure == Failure::open
                    ? QObject::tr("The project “%1” could not be opened.").arg(name)
                    : QObject::tr("The project could not be saved to “%1”.").arg(name));
    box.setInformativeText(reason);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace prismeta
