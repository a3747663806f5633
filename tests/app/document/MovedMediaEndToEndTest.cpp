// Under Xvfb with real GL widgets: a project whose still moved along with it
// shows the still, found beside the project, in the editor canvas and in an
// output window, by the pixels their framebuffers hold.
#include "../ScriptedDialogs.h"
#include "MediaFixtures.h"

#include "app/CanvasView.h"
#include "app/MainWindow.h"
#include "app/PrismetaApp.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/ProjectModel.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <filesystem>

using namespace prismeta;
namespace fs = std::filesystem;

class MovedMediaEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void aMovedStillShowsInEveryCanvas() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const fs::path show = fs::path(folder.path().toStdString()) / "show";
        fs::create_directories(show / "media");
        QVERIFY(
            fixtures::writeStill((show / "media/still.png").string(), "png", 8, 8, [](int, int) {
                return fixtures::Rgba8{230, 120, 20, 255};
            }));
        OutputConfig output;
        output.name = "Main";
        {
            ProjectModel source;
            Surface still;
            still.corners = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            still.mediaKind = MediaKind::image;
            still.mediaPath = "/Volumes/Stage/show/media/still.png";
            source.setSurfaces(std::vector<Surface>{still});
            source.setOutputs({output});
            QVERIFY(source.save(show / "show.prismeta.json").ok);
        }

        PrismetaApp app(std::make_unique<ScriptedDialogs>());
        app.show();
        QVERIFY(app.openAtLaunch(show / "show.prismeta.json"));
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        OutputWindow* window = app.outputWindows().open(output.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        CanvasView* outputCanvas = window->view()->canvasView();
        auto* editorCanvas = app.mainWindow().editorPane()->findChild<CanvasView*>();
        QVERIFY(outputCanvas && editorCanvas);
        QTRY_VERIFY(outputCanvas->hasRenderer() && editorCanvas->hasRenderer());

        const auto shows = [](CanvasView* canvas) {
            const QImage image = canvas->grabFramebuffer();
            const QRgb pixel = image.pixel(image.width() / 2, image.height() / 2);
            return std::abs(qRed(pixel) - 230) <= 2 && std::abs(qGreen(pixel) - 120) <= 2 &&
                   std::abs(qBlue(pixel) - 20) <= 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows(editorCanvas) && shows(outputCanvas), 10000);
        QCOMPARE(app.model().surfaces()[0].mediaPath,
                 std::optional<std::string>("/Volumes/Stage/show/media/still.png"));
    }
};

QTEST_MAIN(MovedMediaEndToEndTest)
#include "MovedMediaEndToEndTest.moc"
