#include "app/document/CollectDialogs.h"

#include "app/document/DocumentDialogs.h"
#include "app/document/PathText.h"
#include "core/MediaSearch.h"
#include "core/ProjectCollector.h"

#include <QDir>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace prismeta {

namespace {

// Problems listed in the message itself; the rest are in the details.
constexpr std::size_t problemsShown = 5;

QString nameOf(const std::string& storedPath) {
    const std::vector<std::string> parts = storedPathComponents(storedPath);
    return pathText(parts.empty() ? storedPath : parts.back(), 255);
}

QString native(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(qStringFromPath(path));
}

// The modal progress dialog: it appears only once the task has taken a
// moment, so a small project collects without a flash.
class WidgetTaskProgress final : public TaskProgress {
public:
    WidgetTaskProgress(const QString& title, QWidget* parent) : dialog_(parent) {
        dialog_.setWindowTitle(title);
        dialog_.setWindowModality(Qt::ApplicationModal);
        dialog_.setMinimumDuration(400);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setRange(0, steps);
        dialog_.setMinimumWidth(420);
        dialog_.setValue(0);
    }

    void update(std::uint64_t done, std::uint64_t total, const QString& label) override {
        dialog_.setLabelText(label);
        const std::uint64_t step = total == 0 ? 0 : done * steps / total;
        dialog_.setValue(static_cast<int>(std::min<std::uint64_t>(step, steps)));
    }
    bool cancelRequested() const override { return dialog_.wasCanceled(); }

private:
    static constexpr int steps = 1000;
    QProgressDialog dialog_;
};

} // namespace

CollectReportText describeCollect(const CollectReport& report) {
    CollectReportText out;
    const QString folder = native(report.projectFile.parent_path());
    const auto copied = static_cast<int>(report.copied);
    const auto failed = static_cast<int>(report.notCopied.size());
    out.complete = report.complete();
    if (report.cancelled) {
        out.text = QObject::tr("Collecting was cancelled.");
        out.informative =
            copied == 0 ? QObject::tr("Nothing was collected in “%1”.").arg(folder)
            : copied == 1
                ? QObject::tr("1 media file was copied to “%1”; the project file was not written.")
                      .arg(folder)
                : QObject::tr("%1 media files were copied to “%2”; the project file was not "
                              "written.")
                      .arg(copied)
                      .arg(folder);
        return out;
    }
    if (!report.projectWritten) {
        out.text = QObject::tr("The project could not be collected in “%1”.").arg(folder);
        out.informative = pathText(report.projectError, 4096);
    } else if (failed == 0) {
        out.text =
            copied == 1
                ? QObject::tr("The project and its media file were collected in “%1”.").arg(folder)
                : QObject::tr("The project and its %1 media files were collected in “%2”.")
                      .arg(copied)
                      .arg(folder);
        out.informative = native(report.projectFile);
        return out;
    } else {
        out.text = QObject::tr("The project was collected in “%1”, but %2 of %3 media files "
                               "could not be copied.")
                       .arg(folder)
                       .arg(failed)
                       .arg(copied + failed);
        out.informative = QObject::tr("The copy of the project still names them where they were.");
    }
    QStringList shown;
    QStringList details;
    for (std::size_t i = 0; i < report.notCopied.size(); ++i) {
        const CollectReport::Problem& problem = report.notCopied[i];
        const QString reason = pathText(problem.reason, 4096);
        if (i < problemsShown) {
            shown << QStringLiteral("%1: %2").arg(nameOf(problem.storedPath), reason);
        }
        details << QStringLiteral("%1\n    %2").arg(pathText(problem.storedPath), reason);
    }
    if (report.notCopied.size() > problemsShown) {
        shown << QObject::tr("and %1 more (see the details)")
                     .arg(report.notCopied.size() - problemsShown);
    }
    if (!shown.isEmpty()) {
        out.informative += (out.informative.isEmpty() ? QString() : QStringLiteral("\n\n")) +
                           shown.join(QLatin1Char('\n'));
    }
    out.details = details.join(QLatin1Char('\n'));
    return out;
}

std::optional<std::filesystem::path>
WidgetDocumentDialogs::chooseCollectFolder(const std::optional<std::filesystem::path>& startIn) {
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::chooseFolder;
    request.title = QObject::tr("Collect Project");
    request.acceptLabel = QObject::tr("Collect Here");
    request.mayMakeFolders = true; // a new folder for the collected show
    request.purpose = QStringLiteral("collect");
    request.folder =
        startIn ? qStringFromPath(*startIn) : startFolder(request.purpose, std::nullopt);
    const std::optional<QString> chosen = runFileDialog(parent_, request);
    if (!chosen) {
        return std::nullopt;
    }
    return pathFromQString(*chosen);
}

DocumentDialogs::ExistingFilesChoice
WidgetDocumentDialogs::askToReplaceFiles(const std::vector<std::filesystem::path>& files) {
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Prismeta"));
    box.setText(
        files.size() == 1
            ? QObject::tr("“%1” is already there.").arg(native(files.front()))
            : QObject::tr("%1 of the files to collect are already there.").arg(files.size()));
    box.setInformativeText(files.size() == 1
                               ? QObject::tr("Replace it with the project’s file, or keep both "
                                             "and give the new file another name?")
                               : QObject::tr("Replace them with the project’s files, or keep "
                                             "both and give the new files other names?"));
    QStringList list;
    for (const auto& file : files) {
        list << native(file);
    }
    box.setDetailedText(list.join(QLatin1Char('\n')));
    QPushButton* replace = box.addButton(QObject::tr("Replace"), QMessageBox::DestructiveRole);
    QPushButton* keepBoth = box.addButton(QObject::tr("Keep Both"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(keepBoth);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace) {
        return ExistingFilesChoice::replace;
    }
    if (box.clickedButton() == keepBoth) {
        return ExistingFilesChoice::keepBoth;
    }
    return ExistingFilesChoice::cancel;
}

std::unique_ptr<TaskProgress> WidgetDocumentDialogs::showProgress(const QString& title) {
    return std::make_unique<WidgetTaskProgress>(title, parent_);
}

void WidgetDocumentDialogs::reportCollect(const CollectReport& report) {
    const CollectReportText text = describeCollect(report);
    QMessageBox box(parent_);
    box.setIcon(text.complete ? QMessageBox::Information : QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Prismeta"));
    box.setText(text.text);
    box.setInformativeText(text.informative);
    if (!text.details.isEmpty()) {
        box.setDetailedText(text.details);
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace prismeta
