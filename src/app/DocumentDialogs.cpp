#include "app/DocumentDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace prismeta {

namespace {

// Bracket classes make the pattern match ".json" in any letter case on file
// systems (and dialogs) that compare names case-sensitively.
const QString jsonFilter = QStringLiteral("JSON files (*.[jJ][sS][oO][nN])");

std::optional<std::filesystem::path> chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) {
        return std::nullopt;
    }
    return pathFromQString(files.front());
}

} // namespace

std::filesystem::path pathFromQString(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

QString qStringFromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

void configureOpenDialog(QFileDialog& dialog) {
    dialog.setWindowTitle(QObject::tr("Open Project"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(jsonFilter);
}

void configureSaveDialog(QFileDialog& dialog) {
    dialog.setWindowTitle(QObject::tr("Save Project"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(jsonFilter);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    dialog.setOption(QFileDialog::ReadOnly, false); // lets the user make folders
    dialog.selectFile(QString::fromLatin1(proposedProjectFileName));
}

std::optional<std::filesystem::path> WidgetDocumentDialogs::chooseProjectToOpen() {
    QFileDialog dialog(parent_);
    configureOpenDialog(dialog);
    return chosenFile(dialog);
}

std::optional<std::filesystem::path> WidgetDocumentDialogs::chooseSaveLocation() {
    QFileDialog dialog(parent_);
    configureSaveDialog(dialog);
    return chosenFile(dialog);
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
