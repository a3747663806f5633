// `--show` in the whole application (Qt's offscreen platform, a desk screen
// and a projector): which windows open and where, the editor on request,
// that nothing it meets (a missing file, missing media) asks a question, and
// that running its cues leaves nothing to save.
#include "../ScriptedDialogs.h"
#include "TwoOffscreenScreens.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/cues/ShowCues.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/Log.h"
#include "core/ProjectFile.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace prismeta;

namespace {

const char* const onProjector = "11111111-1111-4111-8111-111111111111";
const char* const unplaced = "22222222-2222-4222-8222-222222222222";
const char* const onDesk = "33333333-3333-4333-8333-333333333333";

std::string output(const char* id, const char* name, const char* display) {
    return std::string(R"({"blendBottom": 0, "blendLeft": 0, "blendRight": 0, "blendTop": 0,
        "cropHeight": 1, "cropWidth": 1, "cropX": 0, "cropY": 0, )") +
           (display ? std::string(R"("display": )") + display + ", " : std::string()) +
           R"("id": ")" + id + R"(", "name": ")" + name + R"("})";
}

std::string project(const std::string& outputs, const std::string& surfaces = "") {
    return R"({"backgroundOpacity": 0.5, "canvasHeight": 1080, "canvasWidth": 1920,
        "outputs": [)" +
           outputs + R"(], "surfaces": [)" + surfaces + "]}";
}

} // namespace

class ShowModeTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<PrismetaApp> app_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::vector<std::string> log_;
    std::unique_ptr<ScopedLogSink> sink_;

    std::filesystem::path write(const std::string& text) {
        const QString path = dir_.filePath(QStringLiteral("show.prismeta.json"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text.data(), static_cast<qint64>(text.size()));
        return path.toStdString();
    }

    OutputWindow* window(const char* id) const {
        return app_->outputWindows().window(Uuid::parse(id));
    }

    bool logged(const std::string& line) const {
        return std::find(log_.begin(), log_.end(), line) != log_.end();
    }

    void expectNothingAsked() const {
        QVERIFY(dialogs_->reports.empty());
        QVERIFY(dialogs_->unsavedAsked.empty());
        QCOMPARE(dialogs_->openAsked + dialogs_->saveAsked, 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // Quit closes every window here; the test goes on after it.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init() {
        log_.clear();
        sink_ = std::make_unique<ScopedLogSink>(
            [this](std::string_view line) { log_.emplace_back(line); });
        auto dialogs = std::make_unique<ScriptedDialogs>();
        dialogs_ = dialogs.get();
        app_ = std::make_unique<PrismetaApp>(std::move(dialogs));
    }

    void cleanup() {
        app_.reset();
        sink_.reset();
    }

    void placedOutputsFillTheirScreensInOrderWithoutTheEditor() {
        const auto file = write(project(
            output(onProjector, "Stage",
                   R"({"screen": "PROJ", "x": 1600, "y": 0, "width": 1280, "height": 720})") +
            "," + output(unplaced, "Spare", nullptr) + "," +
            output(onDesk, "Lobby",
                   R"({"screen": "DESK", "x": 0, "y": 0, "width": 1600, "height": 900,
                       "fullScreen": false})")));
        app_->startShow(file);
        QVERIFY(app_->inShow());
        QVERIFY(!app_->mainWindow().isVisible());
        QCOMPARE(app_->outputWindows().count(), 2);
        QVERIFY(!window(unplaced));

        OutputWindow* stage = window(onProjector);
        OutputWindow* lobby = window(onDesk);
        QVERIFY(stage && lobby);
        QTRY_VERIFY(stage->isFullScreen() && lobby->isFullScreen());
        QCOMPARE(stage->geometry(), projGeometry);
        QCOMPARE(lobby->geometry(), deskGeometry); // a show fills the screen
        QCOMPARE(stage->cursor().shape(), Qt::BlankCursor);
        QCOMPARE(log_, (std::vector<std::string>{
                           R"(Prismeta: show: output "Stage" is full screen on "PROJ")",
                           R"(Prismeta: show: output "Lobby" is full screen on "DESK")"}));
        // Opening the show wrote nothing: nothing to save.
        QVERIFY(!app_->model().hasUnsavedChanges());
        expectNothingAsked();

        // Ctrl+Z on the projector takes back a warp step made there, the
        // editor and its menus hidden.
        OutputWarp keystone;
        keystone.corners[0] = Pt{0.1f, 0.1f};
        QVERIFY(app_->model().setOutputWarp(*Uuid::parse(onProjector), keystone));
        stage->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(stage));
        QTest::keySequence(stage, QKeySequence(Qt::CTRL | Qt::Key_Z));
        QVERIFY(!app_->model().outputs()[0].warp);

        // Show Editor, from an output window's own actions (its shortcut
        // works while the main window and its menus are hidden).
        QVERIFY(stage->actions().contains(app_->commands().showEditor()));
        app_->commands().showEditor()->trigger();
        QVERIFY(app_->mainWindow().isVisible());
        // Closing the editor hides it; the show goes on.
        QVERIFY(!app_->mainWindow().close());
        QVERIFY(!app_->mainWindow().isVisible());
        QCOMPARE(app_->outputWindows().count(), 2);
        // Ctrl+W (Window > Hide Editor) does the same, its model unchanged.
        app_->commands().showEditor()->trigger();
        QVERIFY(QTest::qWaitForWindowActive(&app_->mainWindow()));
        QVERIFY(app_->commands().hideEditor()->isEnabled());
        QTest::keySequence(&app_->mainWindow(), QKeySequence::Close);
        QVERIFY(!app_->mainWindow().isVisible());
        QCOMPARE(app_->outputWindows().count(), 2);
        expectNothingAsked();

        // Quit ends the show.
        app_->commands().quit()->trigger();
        QCOMPARE(app_->outputWindows().count(), 0);
        expectNothingAsked();
    }

    void waitingOutputsStandApartAndTheEditorOpensBesideTheShow() {
        // The desk shows "Lobby"; two projectors are off, so their outputs
        // wait on the one screen left, beside each other.
        const auto file = write(project(
            output(onDesk, "Lobby",
                   R"({"screen": "DESK", "x": 0, "y": 0, "width": 1600, "height": 900})") +
            "," +
            output(onProjector, "Balcony",
                   R"({"screen": "HDMI-8", "x": 0, "y": 0, "width": 1920, "height": 1080})") +
            "," +
            output(unplaced, "Gallery",
                   R"({"screen": "HDMI-9", "x": 0, "y": 0, "width": 1920, "height": 1080})")));
        app_->startShow(file);
        OutputWindow* lobby = window(onDesk);
        OutputWindow* balcony = window(onProjector);
        OutputWindow* gallery = window(unplaced);
        QVERIFY(lobby && balcony && gallery);
        QTRY_VERIFY(lobby->isFullScreen());
        QTRY_VERIFY(balcony->isVisible() && gallery->isVisible());
        for (OutputWindow* waiting : {balcony, gallery}) {
            QVERIFY(!waiting->isFullScreen());
            QVERIFY(projGeometry.contains(waiting->frameGeometry()));
        }
        QVERIFY(!balcony->frameGeometry().intersects(gallery->frameGeometry()));
        QVERIFY(balcony->geometry().x() < gallery->geometry().x()); // in the project's order

        // Show Editor: on the projector's screen, not over the desk's picture.
        app_->commands().showEditor()->trigger();
        QVERIFY(app_->mainWindow().isVisible());
        QVERIFY(projGeometry.contains(app_->mainWindow().geometry()));
        QVERIFY(lobby->isFullScreen());
    }

    void aProjectThatCannotBeReadShowsTheWholeCanvasAndAsksNothing() {
        app_->startShow(dir_.filePath(QStringLiteral("missing.prismeta.json")).toStdString());
        QCOMPARE(app_->outputWindows().count(), 1);
        OutputWindow* fallback = app_->outputWindows().window(std::nullopt);
        QVERIFY(fallback != nullptr);
        QVERIFY(fallback->view()->showsFallback());
        QTRY_VERIFY(fallback->isFullScreen());
        QCOMPARE(fallback->geometry(), deskGeometry); // the primary screen
        QVERIFY(!app_->mainWindow().isVisible());
        QVERIFY(!log_.empty());
        QVERIFY(log_.front().starts_with("Prismeta: failed to load project: "));
        QVERIFY(logged("Prismeta: show: the project has no outputs; the whole canvas fills the "
                       "primary screen"));
        expectNothingAsked();
    }

    void missingMediaIsLoggedAndAProjectWithoutDisplaysShowsItsFirstOutput() {
        const std::string photo = R"({"color": {"a": 1, "b": 1, "g": 1, "r": 1},
            "corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1}, {"x": 0, "y": 1}],
            "feather": 0, "id": "44444444-4444-4444-8444-444444444444", "mediaKind": "image",
            "mediaPath": "/nowhere/photo.png", "name": "Photo", "opacity": 1})";
        // A file that is there but is no video: said as such, with FFmpeg's reason.
        const std::string broken = dir_.filePath(QStringLiteral("broken.mp4")).toStdString();
        std::ofstream(broken) << std::string(5000, 'x');
        std::string clip = photo;
        clip.replace(clip.find("44444444-4444-4444-8444"), 23, "55555555-5555-4555-8555");
        clip.replace(clip.find(R"("image")"), 7, R"("video")");
        clip.replace(clip.find("/nowhere/photo.png"), 18, broken);
        // A shader is there and is no video either, but is not FFmpeg's to judge.
        const std::string glowPath = dir_.filePath(QStringLiteral("glow.fs")).toStdString();
        std::ofstream(glowPath) << "/*{ \"ISFVSN\": \"2\" }*/\n"
                                   "void main() { gl_FragColor = vec4(1.0); }\n";
        std::string glow = photo;
        glow.replace(glow.find("44444444-4444-4444-8444"), 23, "66666666-6666-4666-8666");
        glow.replace(glow.find(R"("image")"), 7, R"("shader")");
        glow.replace(glow.find("/nowhere/photo.png"), 18, glowPath);
        const auto file =
            write(project(output(unplaced, "Spare", nullptr) + "," +
                              output(onDesk, "Lobby", R"({"screen": "", "x": 0, "y": 0})"),
                          photo + "," + clip + "," + glow));
        app_->startShow(file);
        // Looked for off the interface thread; logged, never asked about.
        QTRY_VERIFY(logged("Prismeta: media not found: /nowhere/photo.png"));
        const std::string undecodable = "Prismeta: media cannot be decoded: " + broken +
                                        ": Invalid data found when processing input";
        QTRY_VERIFY(logged(undecodable));
        QCOMPARE(std::count(log_.begin(), log_.end(), undecodable), 1);
        QVERIFY(std::none_of(log_.begin(), log_.end(), [&](const std::string& line) {
            return line.find(glowPath) != std::string::npos;
        }));
        QVERIFY(logged(R"(Prismeta: show: no output has a display; output "Spare" fills the )"
                       R"(primary screen)"));
        QCOMPARE(app_->outputWindows().count(), 1);
        OutputWindow* spare = window(unplaced);
        QVERIFY(spare != nullptr);
        QTRY_VERIFY(spare->isFullScreen());
        QCOMPARE(spare->geometry(), deskGeometry);
        expectNothingAsked();
    }

    // A show started at a cue and run (GO, a follow, Back, the blackout)
    // changes what is on screen, not the project: the editor shown and quit
    // asks nothing, and Save writes the project as it was read.
    void runningTheShowLeavesNothingToSave() {
        const std::string wall = R"({"color": {"a": 1, "b": 1, "g": 1, "r": 1},
            "corners": [{"x": 0, "y": 0}, {"x": 1, "y": 0}, {"x": 1, "y": 1}, {"x": 0, "y": 1}],
            "feather": 0, "id": "77777777-7777-4777-8777-777777777777", "mediaKind": "color",
            "name": "Wall", "opacity": 1})";
        std::string text = project(output(onDesk, "Lobby", R"({"screen": "DESK", "x": 0, "y": 0,
                                                              "width": 1600, "height": 900})"),
                                   wall);
        text.insert(text.rfind('}'), R"(, "cues": [
            {"id": "A0000000-0000-4000-8000-000000000001", "name": "Dim", "looks": [
                {"opacity": 0.5, "surface": "77777777-7777-4777-8777-777777777777"}]},
            {"id": "A0000000-0000-4000-8000-000000000002", "name": "Red", "looks": [
                {"color": {"r": 1, "g": 0, "b": 0, "a": 1},
                 "surface": "77777777-7777-4777-8777-777777777777"}]},
            {"id": "A0000000-0000-4000-8000-000000000003", "name": "Off", "follow": 0.05, "looks": [
                {"opacity": 0, "surface": "77777777-7777-4777-8777-777777777777"}]}])");
        const auto file = write(text);
        const Result<ProjectFile> parsed = readProjectFile(text);
        QVERIFY2(parsed, parsed ? "" : parsed.error().c_str());
        const std::string asRead = writeProjectFile(parsed.value()).value();

        app_->startShow(file, "2");
        ProjectModel& model = app_->model();
        CueRunner& runner = app_->showCues().runner();
        QCOMPARE(model.cues().size(), std::size_t{3});
        QCOMPARE(runner.liveIndex(), std::optional<std::size_t>(1));
        QVERIFY(runner.go()); // Off, which follows to the first cue
        QTRY_COMPARE(runner.liveIndex(), std::optional<std::size_t>(0));
        QVERIFY(runner.go());
        QVERIFY(runner.back());
        app_->showCues().toggleBlackout();
        QCOMPARE(model.surfaces()[0].opacity, 0.5); // the look is on screen
        QVERIFY(!model.hasUnsavedChanges());

        app_->commands().showEditor()->trigger();
        app_->adapter().flush();
        QVERIFY(!app_->mainWindow().isWindowModified());
        app_->commands().save()->trigger();
        QFile saved(QString::fromStdString(file.string()));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().toStdString(), asRead);
        app_->commands().quit()->trigger();
        QCOMPARE(app_->outputWindows().count(), 0);
        expectNothingAsked();
    }
};

PRISMETA_TWO_SCREENS_MAIN(ShowModeTest)
#include "ShowModeTest.moc"
