#include "../ScriptedDialogs.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/document/DocumentController.h"
#include "app/document/ProblemText.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace prismeta;
namespace fs = std::filesystem;

using Choice = DocumentDialogs::UnsavedChoice;

class DocumentsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<PrismetaApp> app_;
    ScriptedDialogs* dialogs_ = nullptr;
    ProjectModel* model_ = nullptr;

    fs::path file(const char* name) const { return fs::path(folder_->path().toStdString()) / name; }
    void settle() { app_->adapter().flush(); }
    QString title() const { return app_->mainWindow().windowTitle(); }
    bool modified() const { return app_->mainWindow().isWindowModified(); }

    // Writes a project with `surfaces` surfaces to path.
    static void writeProject(const fs::path& path, int surfaces) {
        ProjectModel source;
        for (int i = 0; i < surfaces; ++i) {
            source.addSurface();
        }
        QVERIFY(source.save(path).ok);
    }

    static std::size_t surfacesIn(const fs::path& path) {
        ProjectModel reader;
        return reader.load(path).ok ? reader.surfaces().size() : 9999;
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        app_ = std::make_unique<PrismetaApp>(std::move(dialogs));
        model_ = &app_->model();
        app_->show();
    }

    void cleanup() {
        app_.reset();
        folder_.reset();
    }

    void firstSaveAsksThenSavesInPlaceAndSaveAsMoves() {
        settle();
        QCOMPARE(title(), QString("Untitled[*] \u2014 Prismeta"));
        model_->addSurface();
        settle();
        QVERIFY(modified());
        // What window lists show: the mark right after the file name.
        app_->mainWindow().winId(); // its window, unshown
        QCOMPARE(app_->mainWindow().windowHandle()->title(), QString("Untitled* \u2014 Prismeta"));

        dialogs_->saveAnswers.push_back(file("Show.prismeta.json"));
        app_->commands().save()->trigger();
        QCOMPARE(dialogs_->saveAsked, 1);
        QCOMPARE(model_->documentURL(), file("Show.prismeta.json"));
        settle();
        QCOMPARE(title(), QString("Show.prismeta.json[*] \u2014 Prismeta"));
        QVERIFY(!modified());

        // The toolbar's Save follows the same rule: no dialog now.
        model_->addSurface();
        app_->mainWindow().saveTool()->trigger();
        QCOMPARE(dialogs_->saveAsked, 1);
        QCOMPARE(surfacesIn(file("Show.prismeta.json")), std::size_t{2});

        dialogs_->saveAnswers.push_back(file("Second.prismeta.json"));
        app_->commands().saveAs()->trigger();
        QCOMPARE(dialogs_->saveAsked, 2);
        QCOMPARE(model_->documentURL(), file("Second.prismeta.json"));
        model_->addSurface();
        app_->commands().save()->trigger();
        QCOMPARE(dialogs_->saveAsked, 2);
        QCOMPARE(surfacesIn(file("Second.prismeta.json")), std::size_t{3});
        QCOMPARE(surfacesIn(file("Show.prismeta.json")), std::size_t{2});
        QVERIFY(dialogs_->reports.empty());
    }

    void aCancelledSaveDialogChangesNothing() {
        model_->addSurface();
        app_->commands().save()->trigger(); // empty script: cancelled
        QCOMPARE(dialogs_->saveAsked, 1);
        QVERIFY(!model_->documentURL());
        QVERIFY(model_->hasUnsavedChanges());
        app_->commands().save()->trigger();
        QCOMPARE(dialogs_->saveAsked, 2); // asks again
        QVERIFY(dialogs_->reports.empty());
    }

    void failuresKeepTheLogLineAndAreShown() {
        std::vector<std::string> lines;
        ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });

        model_->addSurface();
        const fs::path unwritable = file("missing-folder") / "Show.prismeta.json";
        dialogs_->saveAnswers.push_back(unwritable);
        app_->commands().save()->trigger();
        QVERIFY(!model_->documentURL());
        QCOMPARE(lines.size(), std::size_t{1});
        QVERIFY(lines[0].starts_with("Prismeta: failed to save project: "));
        QCOMPARE(dialogs_->reports.size(), std::size_t{1});
        QCOMPARE(dialogs_->reports[0].failure, DocumentDialogs::Failure::save);
        QCOMPARE(dialogs_->reports[0].file, unwritable);
        QCOMPARE(dialogs_->reports[0].reason.toStdString(),
                 lines[0].substr(std::string("Prismeta: failed to save project: ").size()));

        // An open that fails leaves the project as it was, history included.
        QVERIFY(QDir().mkpath(folder_->path()));
        {
            QFile broken(QString::fromStdString(file("Broken.prismeta.json").string()));
            QVERIFY(broken.open(QIODevice::WriteOnly));
            broken.write("{ not json");
        }
        dialogs_->openAnswers.push_back(file("Broken.prismeta.json"));
        dialogs_->unsavedAnswers.push_back(Choice::discard);
        app_->commands().open()->trigger();
        QCOMPARE(model_->surfaces().size(), std::size_t{1});
        QCOMPARE(model_->undoStack().size(), std::size_t{1});
        QCOMPARE(lines.size(), std::size_t{2});
        QVERIFY(lines[1].starts_with("Prismeta: failed to load project: "));
        QCOMPARE(dialogs_->reports.size(), std::size_t{2});
        QCOMPARE(dialogs_->reports[1].failure, DocumentDialogs::Failure::open);
        QCOMPARE(dialogs_->reports[1].file, file("Broken.prismeta.json"));
    }

    void warningsCountSurfacesFromOneAndNameThemWhileTheLogKeepsItsText() {
        std::vector<std::string> lines;
        ScopedLogSink sink([&](std::string_view line) { lines.emplace_back(line); });
        const auto logged = [&lines](const char* prefix) {
            return QString::fromStdString(lines.back().substr(std::string(prefix).size()));
        };

        // Loading: the second surface's kind is written "Video"; its name is
        // read from the file, since the model still holds the old project.
        {
            ProjectModel source;
            Surface wall;
            wall.name = "Wall";
            wall.mediaKind = MediaKind::image;
            source.setSurfaces(std::vector<Surface>{Surface{}, wall, Surface{}});
            QVERIFY(source.save(file("Bad.prismeta.json")).ok);
            QFile bad(QString::fromStdString(file("Bad.prismeta.json").string()));
            QVERIFY(bad.open(QIODevice::ReadWrite));
            QByteArray text = bad.readAll();
            text.replace("\"mediaKind\": \"image\"", "\"mediaKind\": \"Video\"");
            bad.resize(0);
            bad.write(text);
        }
        dialogs_->openAnswers.push_back(file("Bad.prismeta.json"));
        app_->commands().open()->trigger();
        const char* loadPrefix = "Prismeta: failed to load project: ";
        QVERIFY(lines.back().starts_with(std::string(loadPrefix) + "surfaces[1].mediaKind"));
        QCOMPARE(dialogs_->reports.back().reason,
                 logged(loadPrefix).replace("surfaces[1].", "surface 2 (\"Wall\") "));

        // Saving: names from the project on screen.
        Surface second;
        second.name = "Left Wall";
        second.opacity = std::numeric_limits<double>::quiet_NaN();
        model_->setSurfaces(std::vector<Surface>{Surface{}, second});
        dialogs_->saveAnswers.push_back(file("Nan.prismeta.json"));
        app_->commands().save()->trigger();
        const char* savePrefix = "Prismeta: failed to save project: ";
        QVERIFY(lines.back().starts_with(std::string(savePrefix) + "surfaces[1]."));
        QCOMPARE(dialogs_->reports.back().reason,
                 logged(savePrefix).replace("surfaces[1].", "surface 2 (\"Left Wall\") "));

        // The rule itself: outputs too, no name where none is known, and a
        // position no list reaches left as written.
        const ListedName none = [](std::string_view, std::size_t) { return std::nullopt; };
        QCOMPARE(describeForPeople("outputs[0].blendLeft: nan", none),
                 QString("output 1 blendLeft: nan"));
        QCOMPARE(describeForPeople("surfaces[99999999999999999999999].x", none),
                 QString("surfaces[99999999999999999999999].x"));
        QCOMPARE(describeForPeople("not valid JSON at line 3, column 7", none),
                 QString("not valid JSON at line 3, column 7"));
    }

    void newProjectAsksAboutUnsavedChanges() {
        // Nothing to lose: no question.
        app_->commands().newProject()->trigger();
        QVERIFY(dialogs_->unsavedAsked.empty());

        model_->addSurface();
        dialogs_->unsavedAnswers = {Choice::cancel};
        app_->commands().newProject()->trigger();
        QCOMPARE(dialogs_->unsavedAsked.size(), std::size_t{1});
        QCOMPARE(dialogs_->unsavedAsked[0], QString("Untitled"));
        QCOMPARE(model_->surfaces().size(), std::size_t{1});

        // Save, but the save dialog is cancelled: the New is abandoned too.
        dialogs_->unsavedAnswers = {Choice::save};
        app_->commands().newProject()->trigger();
        QCOMPARE(dialogs_->saveAsked, 1);
        QCOMPARE(model_->surfaces().size(), std::size_t{1});

        // Save to a place that cannot be written: abandoned as well.
        dialogs_->unsavedAnswers = {Choice::save};
        dialogs_->saveAnswers = {file("nowhere") / "x.json"};
        {
            ScopedLogSink quiet([](std::string_view) {});
            app_->commands().newProject()->trigger();
        }
        QCOMPARE(model_->surfaces().size(), std::size_t{1});

        // Save that works: written, then the new project.
        dialogs_->unsavedAnswers = {Choice::save};
        dialogs_->saveAnswers = {file("Kept.prismeta.json")};
        app_->commands().newProject()->trigger();
        QCOMPARE(surfacesIn(file("Kept.prismeta.json")), std::size_t{1});
        QVERIFY(model_->surfaces().empty());

        model_->addOutput(OutputPreset::full); // outputs count as work too
        dialogs_->unsavedAnswers = {Choice::discard};
        app_->commands().newProject()->trigger();
        QCOMPARE(dialogs_->unsavedAsked.size(), std::size_t{5});
        QVERIFY(model_->outputs().empty());
    }

    void openAsksOnlyOnceAFileIsChosen() {
        writeProject(file("Three.prismeta.json"), 3);
        model_->addSurface();

        app_->commands().open()->trigger(); // cancelled dialog
        QCOMPARE(dialogs_->openAsked, 1);
        QVERIFY(dialogs_->unsavedAsked.empty());

        dialogs_->openAnswers = {file("Three.prismeta.json")};
        dialogs_->unsavedAnswers = {Choice::cancel};
        app_->mainWindow().openTool()->trigger();
        QCOMPARE(dialogs_->unsavedAsked.size(), std::size_t{1});
        QCOMPARE(model_->surfaces().size(), std::size_t{1});

        dialogs_->openAnswers = {file("Three.prismeta.json")};
        dialogs_->unsavedAnswers = {Choice::discard};
        app_->commands().open()->trigger();
        QCOMPARE(model_->surfaces().size(), std::size_t{3});
        QCOMPARE(model_->selectedID(), model_->surfaces()[0].id);
        QCOMPARE(model_->documentURL(), file("Three.prismeta.json"));
        settle();
        QCOMPARE(title(), QString("Three.prismeta.json[*] \u2014 Prismeta"));
        QVERIFY(!modified());
        QVERIFY(!app_->commands().undo()->isEnabled());

        // Loaded and untouched: opening again asks nothing.
        dialogs_->openAnswers = {file("Three.prismeta.json")};
        app_->commands().open()->trigger();
        QCOMPARE(dialogs_->unsavedAsked.size(), std::size_t{2});
    }

    void quittingAsksAndClosesTheOutputWindows() {
        MainWindow& window = app_->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.outputTool()->trigger(); // makes an output: unsaved work
        QCOMPARE(app_->outputWindows().count(), 1);

        dialogs_->unsavedAnswers = {Choice::cancel};
        app_->commands().quit()->trigger();
        QCOMPARE(dialogs_->unsavedAsked.size(), std::size_t{1});
        QVERIFY(window.isVisible());
        QCOMPARE(app_->outputWindows().count(), 1);

        dialogs_->unsavedAnswers = {Choice::discard};
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
        QCOMPARE(app_->outputWindows().count(), 0);
        QCOMPARE(model_->outputs().size(), std::size_t{1}); // quitting saves and clears nothing
    }

    void launchOpensARelativePathAndReportsFailure() {
        writeProject(file("Launch.prismeta.json"), 2);
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder_->path());
        const bool opened = app_->openAtLaunch("Launch.prismeta.json");
        QDir::setCurrent(previous);
        QVERIFY(opened);
        QVERIFY(model_->documentURL()->is_absolute());
        QCOMPARE(model_->surfaces().size(), std::size_t{2});
        QVERIFY(dialogs_->unsavedAsked.empty());

        ScopedLogSink quiet([](std::string_view) {});
        QVERIFY(!app_->openAtLaunch(file("Absent.prismeta.json")));
        QCOMPARE(dialogs_->reports.size(), std::size_t{1});
        QCOMPARE(model_->surfaces().size(), std::size_t{2});
    }

    void titleShowsTheFileNameAndTheModifiedMark() {
        settle();
        QCOMPARE(MainWindow::titleFor(*model_), QString("Untitled"));
        QVERIFY(!modified());
        model_->setSnapEnabled(true); // not part of the file
        settle();
        QVERIFY(!modified());
        model_->setDocumentURL(fs::path("/shows/a[*].prismeta.json"));
        settle();
        QCOMPARE(MainWindow::titleFor(*model_), QString("a[*].prismeta.json"));
        QCOMPARE(title(), QString("a[*][*].prismeta.json[*] \u2014 Prismeta"));
        model_->newProject();
        settle();
        QCOMPARE(title(), QString("Untitled[*] \u2014 Prismeta"));
    }

    void projectDialogsStartAtTheProjectAndProposeItsName() {
        forgetFolders();
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString dir = QFileInfo(folder.path()).canonicalFilePath();
        QVERIFY(QDir(dir).mkdir(QStringLiteral("later")));

        // Never saved: "Untitled.prismeta.json", in the home folder.
        FileDialogRequest save = saveProjectRequest(std::nullopt);
        QCOMPARE(save.proposedName, QString(proposedProjectFileName));
        QCOMPARE(save.folder, QDir::homePath());
        QFileDialog dialog;
        configureFileDialog(dialog, save);
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog.defaultSuffix(), QString("json"));
        QVERIFY(!dialog.testOption(QFileDialog::ReadOnly));
        QCOMPARE(dialog.nameFilters(), QStringList{"Project files (*.json)"});
        QVERIFY(dialog.selectedFiles().value(0).endsWith("/Untitled.prismeta.json"));
        QCOMPARE(dialog.windowTitle(), QString("Save Project"));
        // Room for the names and the columns, as far as the screen allows.
        const QSize room = fileDialogSize.boundedTo(dialog.screen()->availableSize() * 0.9);
        QVERIFY2(dialog.width() >= room.width() && dialog.height() >= room.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(dialog.width()).arg(dialog.height())));

        // A named project: its folder, and Save As offers its own name.
        const fs::path named = fs::path(dir.toStdString()) / "Show.prismeta.json";
        save = saveProjectRequest(named);
        QCOMPARE(save.folder, dir);
        QCOMPARE(save.proposedName, QString("Show.prismeta.json"));
        FileDialogRequest open = openProjectRequest(named);
        QCOMPARE(open.folder, dir);
        QCOMPARE(open.mode, FileDialogRequest::Mode::openFile);
        QCOMPARE(open.title, QString("Open Project"));

        // Without a project file, the folder last chosen in for projects.
        rememberFolder(open.purpose, dir + QStringLiteral("/later/Other.prismeta.json"));
        QCOMPARE(openProjectRequest(std::nullopt).folder, dir + QStringLiteral("/later"));
        QCOMPARE(saveProjectRequest(named).folder, dir);
        forgetFolders();
    }

    void projectDialogShowsJsonFilesInAnyLetterCase() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString dir = QFileInfo(folder.path()).canonicalFilePath();
        for (const char* name : {"a.json", "B.JSON", "c.Json", "notes.txt", "a.json.bak"}) {
            QFile file(QDir(dir).filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        FileDialogRequest request = openProjectRequest(std::nullopt);
        request.folder = dir;
        QFileDialog dialog;
        configureFileDialog(dialog, request);
        dialog.show();
        auto* files = dialog.findChild<QFileSystemModel*>();
        QVERIFY(files);
        const QModelIndex root = files->index(dir);
        QTRY_COMPARE(files->rowCount(root), 3);
        QStringList shown;
        for (int row = 0; row < files->rowCount(root); ++row) {
            shown << files->fileName(files->index(row, 0, root));
        }
        shown.sort();
        QCOMPARE(shown, QStringList({"B.JSON", "a.json", "c.Json"}));
        dialog.close();
    }

    void theWarningNamesTheFileAndTheReason() {
        WidgetDocumentDialogs dialogs;
        QString text;
        QString informative;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            text = box->text();
            informative = box->informativeText();
            box->accept();
        });
        dialogs.reportFailure(DocumentDialogs::Failure::open, "/shows/Show.prismeta.json",
                              "No such file or directory");
        QVERIFY(text.contains("/shows/Show.prismeta.json"));
        QCOMPARE(informative, QString("No such file or directory"));
    }
};

QTEST_MAIN(DocumentsTest)
#include "DocumentsTest.moc"
