// Runs under Xvfb with real GL widgets (llvmpipe): an editor view and an
// output view in windows of their own show one shader surface; the shader
// runs once per frame for both, and both show its picture.
#include "app/CanvasView.h"
#include "app/FrameClock.h"
#include "app/ModelAdapter.h"
#include "app/SharedShaderContext.h"
#include "core/ProjectModel.h"
#include "render/SharedShaderPictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

using namespace prismeta;

namespace {

// A canvas view alone in a window of its own.
struct ViewWindow {
    QWidget window;
    CanvasView* view = nullptr;

    ViewWindow(ModelAdapter& adapter, std::optional<OutputConfig> output) {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new CanvasView(adapter, std::move(output));
        layout->addWidget(view);
        window.resize(96, 64);
        window.show();
    }
};

std::shared_ptr<SharedShaderPictures> picturesOf(CanvasView& view) {
    view.makeCurrent();
    auto pictures = sharedShaderPictures(view.context());
    view.doneCurrent();
    return pictures;
}

} // namespace

class SharedShadersTest : public QObject {
    Q_OBJECT

public:
    // Before the application exists, as main() does.
    static void initMain() { CanvasView::installDefaultSurfaceFormat(); }

private slots:
    void twoWindowsRunTheShaderOncePerFrame() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("tint.fs"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("/*{}*/\nvoid main() { gl_FragColor = vec4(0.25, 0.5, 0.75, 1.0); }\n");
        file.close();

        ProjectModel model;
        ModelAdapter adapter{model};
        Surface surface;
        surface.corners = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
        surface.mediaKind = MediaKind::shader;
        surface.mediaPath = path.toStdString();
        model.setSurfaces({surface});
        adapter.flush();

        auto editor = std::make_unique<ViewWindow>(adapter, std::nullopt);
        ViewWindow output(adapter, OutputConfig{Uuid::random()});
        QVERIFY(QTest::qWaitForWindowExposed(&editor->window));
        QVERIFY(QTest::qWaitForWindowExposed(&output.window));
        QTRY_VERIFY_WITH_TIMEOUT(editor->view->hasRenderer() && output.view->hasRenderer(), 10000);
        const auto pictures = picturesOf(*output.view);
        QVERIFY(pictures);
        QCOMPARE(picturesOf(*editor->view), pictures);

        // Both views keep drawing (a shader changes over time).
        QTRY_VERIFY_WITH_TIMEOUT(editor->view->frameCount() > 20 && output.view->frameCount() > 20,
                                 20000);
        const long long runs = pictures->shaderRuns();
        const long long frames = editor->view->frameCount() + output.view->frameCount();
        qInfo("%lld shader runs for %lld frames (editor %lld, output %lld)", runs, frames,
              editor->view->frameCount(), output.view->frameCount());
        QVERIFY2(runs > 0, "the shader never ran");
        // At most one run a tick of the clock (a paint Qt asks for between
        // ticks draws the tick's picture), and far fewer than one a frame
        // drawn (each window running it would make runs == frames).
        QVERIFY(runs <= FrameClock::shared()->tickCount() + 1);
        QVERIFY2(runs * 4 <= frames * 3,
                 qPrintable(QStringLiteral("%1 runs for %2 frames").arg(runs).arg(frames)));
        for (CanvasView* view : {editor->view, output.view}) {
            const QColor centre =
                view->grabFramebuffer().pixelColor(view->width() / 2, view->height() / 2);
            QVERIFY(std::abs(centre.red() - 64) <= 1);
            QVERIFY(std::abs(centre.green() - 128) <= 1);
            QVERIFY(std::abs(centre.blue() - 191) <= 1);
        }

        // A window closing takes its context along; the other draws on.
        editor.reset();
        const long long before = pictures->shaderRuns();
        const long long drawn = output.view->frameCount();
        QTRY_VERIFY_WITH_TIMEOUT(output.view->frameCount() > drawn + 5, 10000);
        QVERIFY(pictures->shaderRuns() > before);
    }
};

QTEST_MAIN(SharedShadersTest)
#include "SharedShadersTest.moc"
