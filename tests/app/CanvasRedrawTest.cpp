// Runs under Xvfb with real GL widgets (llvmpipe): when a canvas view draws.
// A project that does not change costs no frames; an edit, a resize or a
// playing video does.
#include "MediaFixtures.h"

#include "app/CanvasView.h"
#include "app/FrameClock.h"
#include "app/ModelAdapter.h"
#include "core/ProjectModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <string>

using namespace prismeta;

namespace {

Surface wholeCanvas(MediaKind kind, RGBA color = {1.0f, 0.0f, 0.0f, 1.0f}) {
    Surface surface;
    surface.corners = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    surface.mediaKind = kind;
    surface.color = color;
    return surface;
}

// A canvas view alone in a window of its own.
struct Host {
    ProjectModel model;
    ModelAdapter adapter{model};
    QWidget window;
    CanvasView* view = nullptr;

    explicit Host(std::vector<Surface> surfaces) {
        model.setSurfaces(std::move(surfaces));
        adapter.flush();
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new CanvasView(adapter, std::nullopt);
        layout->addWidget(view);
        window.resize(160, 90);
        window.show();
    }
};

// Lets everything that is due happen: pending model changes, requested
// frames, and their paints.
bool settled(const CanvasView& view) {
    const auto clock = FrameClock::shared();
    return view.hasRenderer() && view.frameCount() > 0 && !clock->isRunning();
}

} // namespace

class CanvasRedrawTest : public QObject {
    Q_OBJECT

private slots:
    void anUnchangingProjectDrawsNothingAndAnEditDrawsAtOnce() {
        Host host({wholeCanvas(MediaKind::color), wholeCanvas(MediaKind::testPattern)});
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        QTRY_VERIFY_WITH_TIMEOUT(settled(*host.view), 10000);

        long long frames = host.view->frameCount();
        QTest::qWait(300);
        QCOMPARE(host.view->frameCount(), frames);

        // What no renderer draws costs no frame either.
        host.model.setSelectedID(host.model.surfaces()[0].id);
        host.model.setSnapEnabled(true);
        host.model.setBackgroundOpacity(0.25);
        host.adapter.flush();
        QTest::qWait(100);
        QCOMPARE(host.view->frameCount(), frames);

        // An edit of a surface is drawn on the next tick, then nothing more.
        Surface blue = host.model.surfaces()[1];
        blue.mediaKind = MediaKind::color;
        blue.color = {0.0f, 0.0f, 1.0f, 1.0f};
        host.model.replaceSurface(1, blue);
        host.adapter.flush();
        QTRY_VERIFY(host.view->frameCount() > frames);
        QTRY_VERIFY(!FrameClock::shared()->isRunning());
        frames = host.view->frameCount();
        const QImage image = host.view->grabFramebuffer();
        QCOMPARE(QColor(image.pixel(image.width() / 2, image.height() / 2)), QColor(0, 0, 255));

        // So is a new size.
        frames = host.view->frameCount();
        host.window.resize(200, 120);
        QTRY_VERIFY(host.view->frameCount() > frames);
    }

    void missingMediaSettlesAndAPlayingVideoKeepsDrawing() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::string video = QDir(folder.path()).filePath("loop.mp4").toStdString();
        fixtures::VideoSpec spec;
        spec.encoder = fixtures::hasEncoder("libx264") ? "libx264" : "mpeg4";
        spec.frames = 30;
        QVERIFY(fixtures::writeVideo(video, spec));

        Surface missingStill = wholeCanvas(MediaKind::image);
        missingStill.mediaPath = "/nonexistent/still.png";
        Surface missingVideo = wholeCanvas(MediaKind::video);
        missingVideo.mediaPath = "/nonexistent/loop.mp4";
        Host host({missingStill, missingVideo});
        QVERIFY(QTest::qWaitForWindowExposed(&host.window));
        // Media that will never show: once the decoders have given up, the
        // view stops drawing.
        QTRY_VERIFY_WITH_TIMEOUT(settled(*host.view), 10000);

        Surface playing = wholeCanvas(MediaKind::video);
        playing.mediaPath = video;
        host.model.setSurfaces(std::vector<Surface>{playing});
        host.adapter.flush();
        // A looping video: frame after frame with nothing else changing.
        const long long frames = host.view->frameCount();
        QTRY_VERIFY_WITH_TIMEOUT(host.view->frameCount() > frames + 20, 10000);
        QVERIFY(FrameClock::shared()->isRunning());

        // Gone again: quiet again.
        host.model.setSurfaces(std::vector<Surface>{wholeCanvas(MediaKind::color)});
        host.adapter.flush();
        QTRY_VERIFY_WITH_TIMEOUT(settled(*host.view), 10000);
    }
};

QTEST_MAIN(CanvasRedrawTest)
#include "CanvasRedrawTest.moc"
