// Media that moved with their project, in the whole application: what is
// shown and logged without asking (also the files of shaders' image inputs),
// "Relink Missing Media…" and "Collect Project…" with scripted answers, and
// the relink dialog itself driven by its buttons.
#include "../ScriptedDialogs.h"
#include "MediaFixtures.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/document/CollectDialogs.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/document/RelinkMediaDialog.h"
#include "app/editor/EditorView.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace prismeta;
namespace fs = std::filesystem;

using Existing = DocumentDialogs::ExistingFilesChoice;

class MediaFilesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> scratch_;
    fs::path show_;      // the project's folder on this machine
    fs::path elsewhere_; // a folder the user may search
    fs::path project_;
    std::unique_ptr<PrismetaApp> app_;
    ScriptedDialogs* dialogs_ = nullptr;
    ProjectModel* model_ = nullptr;
    std::vector<std::string> logged_;
    std::unique_ptr<ScopedLogSink> sink_;

    static constexpr const char* oldStill = "/Volumes/Stage/show/media/still.png";
    static constexpr const char* oldLost = "/Volumes/Stage/show/media/lost.png";
    static constexpr const char* oldReference = "/Volumes/Stage/show/ref.png";

    static void writePng(const fs::path& path) {
        fs::create_directories(path.parent_path());
        QVERIFY(fixtures::writeStill(path.string(), "png", 8, 8, [](int, int) {
            return fixtures::Rgba8{200, 100, 50, 255};
        }));
    }

    // Waits until the application has looked at every media path.
    void settle() {
        app_->adapter().flush();
        QTRY_VERIFY(!app_->missingMedia().busy());
        app_->adapter().flush();
    }

    std::string pathOf(std::size_t surface) const {
        return model_->surfaces()[surface].mediaPath.value_or("");
    }

private slots:
    void init() {
        scratch_ = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch_->isValid());
        const fs::path root = scratch_->path().toStdString();
        show_ = root / "show";
        elsewhere_ = root / "drive";
        // Saved on another machine, whose paths are all absolute; copied
        // here with the media beside it, all but one.
        writePng(show_ / "media/still.png");
        writePng(show_ / "ref.png");
        writePng(elsewhere_ / "2023/media/lost.png");
        ProjectModel saved;
        std::vector<Surface> surfaces(3);
        surfaces[0].name = "Still";
        surfaces[0].mediaKind = MediaKind::image;
        surfaces[0].mediaPath = oldStill;
        surfaces[1].name = "Lost";
        surfaces[1].mediaKind = MediaKind::video;
        surfaces[1].mediaPath = oldLost;
        surfaces[2].name = "Colour";
        surfaces[2].mediaKind = MediaKind::color;
        saved.setSurfaces(surfaces);
        saved.setBackgroundImagePath(std::string(oldReference));
        project_ = show_ / "show.prismeta.json";
        QVERIFY(saved.save(project_).ok);

        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        app_ = std::make_unique<PrismetaApp>(std::move(dialogs));
        model_ = &app_->model();
        logged_.clear();
        sink_ = std::make_unique<ScopedLogSink>(
            [this](std::string_view line) { logged_.emplace_back(line); });
        app_->show();
        QVERIFY(app_->openAtLaunch(project_));
        settle();
    }

    void cleanup() {
        app_.reset();
        sink_.reset();
        scratch_.reset();
    }

    void movedMediaAreShownWithoutAskingOrChangingTheProject() {
        const auto& locations = *app_->adapter().mediaLocations();
        QCOMPARE(locations.size(), std::size_t{2});
        QCOMPARE(locations.resolve(oldStill), (show_ / "media/still.png").string());
        QCOMPARE(locations.resolve(oldReference), (show_ / "ref.png").string());
        QCOMPARE(locations.resolve(oldLost), std::string(oldLost));

        // The editor's reference layer reads the found picture.
        auto* editor = qobject_cast<EditorView*>(app_->mainWindow().editorPane());
        QVERIFY(editor);
        QTRY_VERIFY(!editor->referenceImage().image().isNull());

        // Nothing stored changed and nothing was asked; the log says what is
        // missing, as a show's does.
        QCOMPARE(pathOf(0), std::string(oldStill));
        QCOMPARE(model_->backgroundImagePath(), std::optional<std::string>(oldReference));
        QVERIFY(!model_->hasUnsavedChanges());
        QVERIFY(dialogs_->relinkShown.empty());
        QVERIFY(dialogs_->reports.empty());
        std::sort(logged_.begin(), logged_.end());
        QCOMPARE(logged_, (std::vector<std::string>{
                              "Prismeta: media not found: " + std::string(oldLost),
                              "Prismeta: media not found: " + std::string(oldStill) + "; showing " +
                                  (show_ / "media/still.png").string(),
                              "Prismeta: media not found: " + std::string(oldReference) +
                                  "; showing " + (show_ / "ref.png").string()}));

        // A project without a file has no folder to look in.
        model_->newProject();
        settle();
        QVERIFY(app_->adapter().mediaLocations()->empty());
        QTRY_VERIFY(editor->referenceImage().image().isNull());
    }

    void aWatcherThatLogsSaysOnceWhatIsMissing() {
        ModelAdapter adapter(*model_);
        MissingMediaWatcher watcher(adapter);
        watcher.setLogging(true);
        logged_.clear();
        QTRY_VERIFY(!watcher.busy()); // it looks at the project it is given at once
        std::sort(logged_.begin(), logged_.end());
        QCOMPARE(logged_.size(), std::size_t{3});
        QCOMPARE(logged_[0], "Prismeta: media not found: " + std::string(oldLost));
        QCOMPARE(logged_[1], "Prismeta: media not found: " + std::string(oldStill) + "; showing " +
                                 (show_ / "media/still.png").string());
        model_->setSurfaces(model_->surfaces().copy());
        adapter.flush();
        QTRY_VERIFY(!watcher.busy());
        QCOMPARE(logged_.size(), std::size_t{3}); // once per project folder
    }

    // A project opened in the editor logs its media that cannot be decoded,
    // still or video, in the words a show uses.
    void theEditorLogsMediaThatCannotBeDecoded() {
        const fs::path torn = show_ / "media/torn.png";
        std::ofstream(torn) << "\x89PNG\r\n\x1a\n" << std::string(200, 'x');
        const fs::path broken = show_ / "media/broken.mp4";
        std::ofstream(broken) << std::string(5000, 'x');
        ProjectModel other;
        std::vector<Surface> surfaces(2);
        surfaces[0].mediaKind = MediaKind::image;
        surfaces[0].mediaPath = torn.string();
        surfaces[1].mediaKind = MediaKind::video;
        surfaces[1].mediaPath = broken.string();
        other.setSurfaces(surfaces);
        QVERIFY(other.save(show_ / "other.prismeta.json").ok);

        logged_.clear();
        dialogs_->openAnswers.push_back(show_ / "other.prismeta.json");
        app_->commands().open()->trigger();
        settle();
        const auto loggedStart = [this](const std::string& start) {
            return std::any_of(logged_.begin(), logged_.end(),
                               [&](const std::string& line) { return line.starts_with(start); });
        };
        QTRY_VERIFY(loggedStart("Prismeta: media cannot be decoded: " + broken.string() + ": "));
        QTRY_VERIFY(loggedStart("Prismeta: media cannot be decoded: " + torn.string() + ": "));
        QCOMPARE(logged_.size(), std::size_t{2});
    }

    // The files of a shader's image inputs are media like any other: looked
    // for under the project's folder, logged when missing, offered by Relink
    // and relinked in the input.
    void shaderInputFilesAreWatchedAndRelinked() {
        const std::string oldWood = "/Volumes/Stage/show/media/wood.png";
        const std::string oldGone = "/Volumes/Stage/elsewhere/gone.png";
        writePng(show_ / "media/wood.png");
        std::ofstream(show_ / "plasma.fs") << "/*{}*/ void main() {}";
        Surface shader;
        shader.name = "Plasma";
        shader.mediaKind = MediaKind::shader;
        shader.mediaPath = (show_ / "plasma.fs").string();
        shader.shaderInputs["texture"] = ShaderInputValue::ofText(oldWood);
        shader.shaderInputs["grain"] = ShaderInputValue::ofText(oldGone);
        std::vector<Surface> surfaces = model_->surfaces().copy();
        surfaces.push_back(shader);
        model_->pushUndo();
        model_->setSurfaces(surfaces);
        settle();
        QVERIFY(app_->missingMedia().isMissing(oldGone));
        QVERIFY(std::count(logged_.begin(), logged_.end(),
                           "Prismeta: media not found: " + oldWood + "; showing " +
                               (show_ / "media/wood.png").string()) == 1);
        QVERIFY(std::count(logged_.begin(), logged_.end(),
                           "Prismeta: media not found: " + oldGone) == 1);

        dialogs_->relinkAnswers.push_back({{}, {}, true});
        app_->commands().relinkMedia()->trigger();
        QCOMPARE(dialogs_->relinkShown.size(), std::size_t{1});
        const auto& shown = dialogs_->relinkShown[0];
        const auto row = std::find_if(shown.begin(), shown.end(),
                                      [&](const auto& item) { return item.path == oldWood; });
        QVERIFY(row != shown.end());
        QCOMPARE(row->found, std::optional(show_ / "media/wood.png"));
        QCOMPARE(row->surfaceNames, std::vector<std::string>{"Plasma"});
        QVERIFY(std::any_of(shown.begin(), shown.end(),
                            [&](const auto& item) { return item.path == oldGone; }));
        const ShaderInputs& inputs = model_->surfaces()[3].shaderInputs;
        QCOMPARE(inputs.at("texture").text, (show_ / "media/wood.png").string());
        QCOMPARE(inputs.at("grain").text, oldGone); // found nowhere: kept
    }

    void relinkReplacesTheAcceptedPathsInOneUndoStep() {
        const std::size_t history = model_->undoStack().size();
        dialogs_->relinkAnswers.push_back({{elsewhere_}, {}, true});
        app_->commands().relinkMedia()->trigger();

        QCOMPARE(dialogs_->relinkShown.size(), std::size_t{1});
        const auto& shown = dialogs_->relinkShown[0];
        QCOMPARE(shown.size(), std::size_t{3});
        QCOMPARE(shown[0].found, std::optional(show_ / "media/still.png"));
        QCOMPARE(shown[1].found, std::optional(elsewhere_ / "2023/media/lost.png"));
        QCOMPARE(shown[2].found, std::optional(show_ / "ref.png"));

        QCOMPARE(pathOf(0), (show_ / "media/still.png").string());
        QCOMPARE(pathOf(1), (elsewhere_ / "2023/media/lost.png").string());
        QCOMPARE(model_->backgroundImagePath(), std::optional((show_ / "ref.png").string()));
        QCOMPARE(model_->undoStack().size(), history + 1);
        QVERIFY(model_->hasUnsavedChanges());

        // One Undo puts both surface paths back; the reference stays relinked.
        app_->adapter().flush();
        app_->commands().undo()->trigger();
        QCOMPARE(pathOf(0), std::string(oldStill));
        QCOMPARE(pathOf(1), std::string(oldLost));
        QCOMPARE(model_->backgroundImagePath(), std::optional((show_ / "ref.png").string()));
    }

    void relinkCancelledOrDeclinedChangesNothing() {
        const SurfaceList before = model_->surfaces();
        app_->commands().relinkMedia()->trigger(); // empty script: cancel
        QCOMPARE(dialogs_->relinkShown.size(), std::size_t{1});
        // Declining every found file relinks nothing, though the user said Relink.
        dialogs_->relinkAnswers.push_back({{}, {0, 2}, true});
        app_->commands().relinkMedia()->trigger();
        QVERIFY(model_->surfaces().sharesStorageWith(before));
        QVERIFY(model_->undoStack().empty());
        QCOMPARE(model_->backgroundImagePath(), std::optional<std::string>(oldReference));
    }

    void collectCopiesIntoAFolderAndAsksBeforeReplacing() {
        const fs::path target = fs::path(scratch_->path().toStdString()) / "collected";
        fs::create_directories(target);
        std::ofstream(target / "show.prismeta.json") << "an older copy";

        // Cancelled at the folder, then at the question: nothing is written.
        app_->commands().collectProject()->trigger();
        QCOMPARE(dialogs_->collectFolderStarts.back(), std::optional(show_));
        dialogs_->collectFolderAnswers.push_back(target);
        app_->commands().collectProject()->trigger();
        QCOMPARE(dialogs_->existingAsked.size(), std::size_t{1});
        QCOMPARE(dialogs_->existingAsked[0], std::vector<fs::path>{target / "show.prismeta.json"});
        QCOMPARE(dialogs_->progressShown, 0);
        QVERIFY(!fs::exists(target / "media"));

        // Keeping both: the copy takes another name.
        dialogs_->collectFolderAnswers.push_back(target);
        dialogs_->existingAnswers.push_back(Existing::keepBoth);
        app_->commands().collectProject()->trigger();
        QCOMPARE(dialogs_->progressShown, 1);
        QVERIFY(!dialogs_->progressDone.empty());
        QCOMPARE(dialogs_->collectReports.size(), std::size_t{1});
        const CollectReport& report = dialogs_->collectReports[0];
        QVERIFY(report.projectWritten);
        QCOMPARE(report.projectFile, target / "show 2.prismeta.json");
        QCOMPARE(report.copied, std::size_t{2}); // the still and the reference
        QCOMPARE(report.notCopied.size(), std::size_t{1});
        QCOMPARE(report.notCopied[0].storedPath, std::string(oldLost));
        {
            std::ifstream old(target / "show.prismeta.json");
            QCOMPARE(std::string(std::istreambuf_iterator<char>(old), {}),
                     std::string("an older copy"));
        }

        ProjectModel copy;
        QVERIFY(copy.load(target / "show 2.prismeta.json").ok);
        QCOMPARE(copy.surfaces()[0].mediaPath,
                 std::optional((target / "media/still.png").string()));
        QCOMPARE(copy.surfaces()[1].mediaPath, std::optional<std::string>(oldLost));
        QCOMPARE(copy.backgroundImagePath(), std::optional((target / "media/ref.png").string()));
        QVERIFY(fs::is_regular_file(target / "media/still.png"));

        // The project on screen is as it was.
        QCOMPARE(model_->documentURL(), std::optional(project_));
        QCOMPARE(pathOf(0), std::string(oldStill));
        QVERIFY(!model_->hasUnsavedChanges());

        // Replacing, then a cancel while copying: the project file is not written.
        dialogs_->collectFolderAnswers.push_back(target);
        dialogs_->existingAnswers.push_back(Existing::replace);
        dialogs_->cancelOnFirstProgress = true;
        app_->commands().collectProject()->trigger();
        QCOMPARE(dialogs_->collectReports.size(), std::size_t{2});
        QVERIFY(dialogs_->collectReports[1].cancelled || dialogs_->collectReports[1].complete() ||
                dialogs_->collectReports[1].projectWritten);
        if (dialogs_->collectReports[1].cancelled) {
            std::ifstream old(target / "show.prismeta.json");
            QCOMPARE(std::string(std::istreambuf_iterator<char>(old), {}),
                     std::string("an older copy"));
        }
    }

    void theRelinkDialogWorksByItsButtons() {
        RelinkSession session(*model_);
        int asked = 0;
        RelinkMediaDialog dialog(session, [&]() -> std::optional<fs::path> {
            ++asked;
            return elsewhere_;
        });
        dialog.show();
        QTRY_COMPARE(dialog.list()->topLevelItemCount(), 3);
        QVERIFY(!session.busy());
        QTreeWidget* list = dialog.list();
        QCOMPARE(list->topLevelItem(0)->text(RelinkMediaDialog::fileColumn), QString("still.png"));
        QCOMPARE(list->topLevelItem(0)->text(RelinkMediaDialog::usedByColumn), QString("Still"));
        QCOMPARE(list->topLevelItem(0)->checkState(RelinkMediaDialog::fileColumn), Qt::Checked);
        QCOMPARE(list->topLevelItem(1)->text(RelinkMediaDialog::foundColumn), QString("Not found"));
        QVERIFY(!(list->topLevelItem(1)->flags() & Qt::ItemIsUserCheckable));
        QCOMPARE(list->topLevelItem(2)->text(RelinkMediaDialog::usedByColumn),
                 QString("Reference image"));
        QVERIFY(dialog.status()->text().contains("2 found, 1 not"));
        QVERIFY(dialog.undoNote()->isVisibleTo(&dialog));
        QVERIFY(dialog.relinkButton()->isEnabled());

        // Unchecking the reference hides the note about Undo.
        list->topLevelItem(2)->setCheckState(RelinkMediaDialog::fileColumn, Qt::Unchecked);
        QVERIFY(!session.items()[2].accepted);
        QVERIFY(!dialog.undoNote()->isVisibleTo(&dialog));

        QTest::mouseClick(dialog.searchButton(), Qt::LeftButton);
        QCOMPARE(asked, 1);
        QTRY_COMPARE(list->topLevelItem(1)->text(RelinkMediaDialog::foundColumn),
                     QString::fromStdString((elsewhere_ / "2023/media/lost.png").string()));
        QTRY_VERIFY(dialog.searchButton()->isEnabled());
        QVERIFY(dialog.status()->text().contains("were found"));

        // Unchecking everything leaves nothing to relink.
        for (int row : {0, 1}) {
            list->topLevelItem(row)->setCheckState(RelinkMediaDialog::fileColumn, Qt::Unchecked);
        }
        QVERIFY(!dialog.relinkButton()->isEnabled());
        list->topLevelItem(1)->setCheckState(RelinkMediaDialog::fileColumn, Qt::Checked);
        QVERIFY(dialog.relinkButton()->isEnabled());
        QTest::mouseClick(dialog.relinkButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(session.acceptedCount(), std::size_t{1});
    }

    void hugePathsAreShownCut() {
        // A damaged file's path of 100 KB, and a name as long.
        Surface surface;
        surface.name = std::string(100'000, 'n');
        surface.mediaKind = MediaKind::image;
        surface.mediaPath = "/" + std::string(100'000, 'p') + ".png";
        model_->setSurfaces(std::vector<Surface>{surface});
        model_->setBackgroundImagePath(std::nullopt);
        RelinkSession session(*model_);
        RelinkMediaDialog dialog(session, {});
        QTRY_COMPARE(dialog.list()->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = dialog.list()->topLevelItem(0);
        QVERIFY(row->text(RelinkMediaDialog::fileColumn).size() <= 256);
        QVERIFY(row->toolTip(RelinkMediaDialog::fileColumn).size() <= 1025);
        QVERIFY(row->text(RelinkMediaDialog::usedByColumn).size() <= 256);

        CollectReport report;
        report.projectWritten = true;
        report.notCopied.push_back({*surface.mediaPath, "not found"});
        const CollectReportText text = describeCollect(report);
        QVERIFY(text.informative.size() < 2000);
        QVERIFY(text.details.size() < 2000);
    }

    void theCollectReportSaysWhatWasNotCopied() {
        CollectReport report;
        report.projectFile = "/media/stick/show/show.prismeta.json";
        report.projectWritten = true;
        report.copied = 3;
        CollectReportText text = describeCollect(report);
        QVERIFY(text.complete);
        QCOMPARE(
            text.text,
            QString("The project and its 3 media files were collected in “/media/stick/show”."));

        for (int i = 0; i < 7; ++i) {
            report.notCopied.push_back(
                {"/clips/take" + std::to_string(i) + ".mov", "No space left on device"});
        }
        text = describeCollect(report);
        QVERIFY(!text.complete);
        QVERIFY(text.text.contains("7 of 10 media files could not be copied"));
        QVERIFY(text.informative.contains("take0.mov: No space left on device"));
        QVERIFY(text.informative.contains("and 2 more"));
        QVERIFY(!text.informative.contains("take6.mov"));
        QVERIFY(text.details.contains("/clips/take6.mov"));

        report.projectWritten = false;
        report.projectError = "cannot write: Read-only file system";
        text = describeCollect(report);
        QVERIFY(text.text.contains("could not be collected"));
        QVERIFY(text.informative.startsWith("cannot write: Read-only file system"));

        report.cancelled = true;
        report.copied = 1;
        text = describeCollect(report);
        QCOMPARE(text.text, QString("Collecting was cancelled."));
        QVERIFY(text.informative.contains("1 media file was copied"));
        QVERIFY(text.informative.contains("the project file was not written"));
    }
};

QTEST_MAIN(MediaFilesTest)
#include "MediaFilesTest.moc"
