// Runs under Xvfb with real GL widgets (llvmpipe): the application on a
// project, its editor canvas and two output windows, checked by the pixels
// their framebuffers hold.
#include "ScriptedDialogs.h"

#include "app/CanvasView.h"
#include "app/FrameClock.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/inspector/BlendCurveGroup.h"
#include "app/inspector/OutputCard.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/ProjectModel.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>
#include <filesystem>
#include <memory>

using namespace prismeta;

namespace {

Surface colourQuad(const char* name, float left, float top, float right, float bottom, RGBA color) {
    Surface surface;
    surface.name = name;
    surface.corners = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    surface.mediaKind = MediaKind::color;
    surface.color = color;
    return surface;
}

OutputConfig halfOutput(const char* name, float cropX, float blendLeft, float blendRight) {
    OutputConfig output;
    output.name = name;
    output.cropX = cropX;
    output.cropWidth = 0.5f;
    output.blendLeft = blendLeft;
    output.blendRight = blendRight;
    return output;
}

// The pixel as 0..255 channels; the expected values come from the colours
// and the blend ramp (colour x distance / width), not from a captured frame.
bool near(QRgb pixel, int r, int g, int b, int tolerance = 3) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

// Where a check box takes a click: its indicator, at its left end.
QPoint indicator(const QWidget* box) {
    return {6, box->height() / 2};
}

QString describe(QRgb pixel) {
    return QStringLiteral("(%1, %2, %3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // What main() does before QApplication cannot be done here; the
        // widgets set their format themselves, so this only checks it.
        QCOMPARE(CanvasView::surfaceFormat().swapInterval(), 0);
        QCOMPARE(CanvasView::surfaceFormat().majorVersion(), 3);
        QVERIFY(CanvasView::platformSupportsGL());
    }

    void twoOutputsShowTheirOwnRegionsAndFollowEdits() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::filesystem::path file =
            std::filesystem::path(folder.path().toStdString()) / "Show.prismeta.json";
        const OutputConfig left = halfOutput("Left", 0.0f, 0.0f, 0.25f);
        const OutputConfig right = halfOutput("Right", 0.5f, 0.25f, 0.0f);
        {
            ProjectModel source;
            source.setSurfaces(std::vector<Surface>{
                colourQuad("Back", 0.0f, 0.0f, 1.0f, 1.0f, {0.0f, 0.0f, 1.0f, 1.0f}),
                colourQuad("Red", 0.1f, 0.2f, 0.3f, 0.8f, {1.0f, 0.0f, 0.0f, 1.0f}),
                colourQuad("Green", 0.7f, 0.2f, 0.9f, 0.8f, {0.0f, 1.0f, 0.0f, 1.0f})});
            source.setOutputs({left, right});
            QVERIFY(source.save(file).ok);
        }

        PrismetaApp app(std::make_unique<ScriptedDialogs>());
        app.show();
        QVERIFY(app.openAtLaunch(file));
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));

        OutputWindow* leftWindow = app.outputWindows().open(left.id);
        OutputWindow* rightWindow = app.outputWindows().open(right.id);
        QVERIFY(QTest::qWaitForWindowExposed(leftWindow));
        QVERIFY(QTest::qWaitForWindowExposed(rightWindow));
        QCOMPARE(leftWindow->windowTitle(), QString("Left"));

        CanvasView* leftCanvas = leftWindow->view()->canvasView();
        CanvasView* rightCanvas = rightWindow->view()->canvasView();
        auto* editorCanvas = app.mainWindow().editorPane()->findChild<CanvasView*>();
        QVERIFY(leftCanvas && rightCanvas && editorCanvas);
        QTRY_VERIFY(leftCanvas->hasRenderer() && rightCanvas->hasRenderer() &&
                    editorCanvas->hasRenderer());
        // The editor, the two windows and the two output cards' warp previews.
        QCOMPARE(FrameClock::shared()->viewCount(), 5);

        // Each output is 480 x 540 (a 960 x 1080 crop in 960 x 540).
        QImage l = leftCanvas->grabFramebuffer();
        QImage r = rightCanvas->grabFramebuffer();
        QCOMPARE(l.size(), QSize(480, 540));
        QCOMPARE(r.size(), QSize(480, 540));
        // Pixel x of the left output is canvas x = 0.5 * (x + 0.5) / 480; of
        // the right one 0.5 + the same.
        QVERIFY2(near(l.pixel(192, 270), 255, 0, 0), qPrintable(describe(l.pixel(192, 270))));
        QVERIFY2(near(l.pixel(48, 270), 0, 0, 255), qPrintable(describe(l.pixel(48, 270))));
        QVERIFY2(near(r.pixel(288, 270), 0, 255, 0), qPrintable(describe(r.pixel(288, 270))));
        QVERIFY2(near(r.pixel(192, 100), 0, 0, 255), qPrintable(describe(r.pixel(192, 100))));
        // Blend ramps of a quarter width (120 pixels): black at the outer
        // edge, half way at 60.5 pixels in (factor 60.5 / 120).
        const int half = static_cast<int>(std::lround(255.0 * 60.5 / 120.0));
        QVERIFY2(near(l.pixel(479, 100), 0, 0, 3), qPrintable(describe(l.pixel(479, 100))));
        QVERIFY2(near(l.pixel(419, 100), 0, 0, half), qPrintable(describe(l.pixel(419, 100))));
        QVERIFY2(near(r.pixel(0, 100), 0, 0, 3), qPrintable(describe(r.pixel(0, 100))));
        QVERIFY2(near(r.pixel(60, 100), 0, 0, half), qPrintable(describe(r.pixel(60, 100))));
        // The editor shows the whole canvas, with no ramps.
        QImage e = editorCanvas->grabFramebuffer();
        QVERIFY2(near(e.pixel(e.width() / 5, e.height() / 2), 255, 0, 0),
                 qPrintable(describe(e.pixel(e.width() / 5, e.height() / 2))));
        QVERIFY2(near(e.pixel(e.width() * 4 / 5, e.height() / 2), 0, 255, 0),
                 qPrintable(describe(e.pixel(e.width() * 4 / 5, e.height() / 2))));

        // An edit of one surface shows in every window.
        Surface back = app.model().surfaces()[0];
        back.color = {1.0f, 1.0f, 1.0f, 1.0f};
        app.model().replaceSurface(0, back);
        app.adapter().flush();
        l = leftCanvas->grabFramebuffer();
        r = rightCanvas->grabFramebuffer();
        e = editorCanvas->grabFramebuffer();
        QVERIFY2(near(l.pixel(48, 270), 255, 255, 255), qPrintable(describe(l.pixel(48, 270))));
        QVERIFY2(near(r.pixel(440, 270), 255, 255, 255), qPrintable(describe(r.pixel(440, 270))));
        QVERIFY2(near(l.pixel(419, 100), half, half, half),
                 qPrintable(describe(l.pixel(419, 100))));
        QVERIFY2(near(e.pixel(e.width() / 2, e.height() / 2), 255, 255, 255),
                 qPrintable(describe(e.pixel(e.width() / 2, e.height() / 2))));

        // A new blend width reaches the window's renderer: no right ramp.
        std::vector<OutputConfig> outputs = app.model().outputs();
        outputs[0].blendRight = 0.0f;
        app.model().setOutputs(outputs);
        app.adapter().flush();
        l = leftCanvas->grabFramebuffer();
        QVERIFY2(near(l.pixel(479, 100), 255, 255, 255), qPrintable(describe(l.pixel(479, 100))));

        // Closing a window releases its canvas view (and renderer); the
        // model keeps the output.
        QPointer<CanvasView> closed(leftCanvas);
        leftWindow->close();
        QTRY_VERIFY(closed.isNull());
        QCOMPARE(FrameClock::shared()->viewCount(), 4);
        QCOMPARE(app.model().outputs().size(), std::size_t{2});
    }

    void theOutputCardsBlendCurveReachesTheOutputWindow() {
        PrismetaApp app(std::make_unique<ScriptedDialogs>());
        app.model().setSurfaces(std::vector<Surface>{
            colourQuad("White", 0.0f, 0.0f, 1.0f, 1.0f, {1.0f, 1.0f, 1.0f, 1.0f})});
        const OutputConfig right = halfOutput("Right", 0.5f, 0.25f, 0.0f);
        app.model().setOutputs({right});
        app.show();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        OutputWindow* window = app.outputWindows().open(right.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        CanvasView* canvas = window->view()->canvasView();
        QVERIFY(canvas);
        QTRY_VERIFY(canvas->hasRenderer());
        app.adapter().flush();
        auto* card = app.mainWindow().inspectorPane()->findChild<OutputCard*>();
        QVERIFY(card);
        BlendCurveGroup* group = card->blendCurveGroup();

        // Gamma 2 typed into the card: the ramp (120 pixels) keeps sqrt(d).
        QDoubleSpinBox* gamma = group->gammaBox();
        gamma->setFocus(Qt::OtherFocusReason);
        gamma->selectAll();
        QTest::keyClicks(gamma, QStringLiteral("2"));
        QTest::keyClick(gamma, Qt::Key_Return);
        QCOMPARE(app.model().outputs()[0].blendGamma, 2.0f);
        app.adapter().flush();
        QImage image = canvas->grabFramebuffer();
        const int kept = static_cast<int>(std::lround(255.0 * std::sqrt(30.5 / 120.0)));
        QVERIFY2(near(image.pixel(30, 270), kept, kept, kept),
                 qPrintable(describe(image.pixel(30, 270))));

        // Blend Test: grey and black stripes of the canvas instead of the
        // white surface, with the black level (linked: all three channels).
        QTest::mouseClick(group->blendTestBox(), Qt::LeftButton, {},
                          indicator(group->blendTestBox()));
        QVERIFY(app.model().blendTest(right.id));
        QDoubleSpinBox* red = group->blackLevelBox(BlendCurveGroup::Channel::red);
        red->setFocus(Qt::OtherFocusReason);
        red->selectAll();
        QTest::keyClicks(red, QStringLiteral("0.1"));
        QTest::keyClick(red, Qt::Key_Return);
        app.adapter().flush();
        image = canvas->grabFramebuffer();
        // Canvas point (0.5 + 0.5 * x / 480, y / 540): stripes of x + y.
        const auto field = [](int x, int y) {
            const double s = 2 * (0.5 + 0.5 * (x + 0.5) / 480 + (y + 0.5) / 540) + 0.5;
            return static_cast<long>(std::floor(s)) % 2 == 0 ? 128 : 0;
        };
        for (const auto& [x, y] : {std::pair{300, 20}, std::pair{300, 300}, std::pair{440, 500}}) {
            const int level = field(x, y) + 26;
            QVERIFY2(
                near(image.pixel(x, y), level, level, level),
                qPrintable(QStringLiteral("%1,%2: ").arg(x).arg(y) + describe(image.pixel(x, y))));
        }
        QTest::mouseClick(group->blendTestBox(), Qt::LeftButton, {},
                          indicator(group->blendTestBox()));
        app.adapter().flush();
        image = canvas->grabFramebuffer();
        QVERIFY2(near(image.pixel(300, 300), 255, 255, 255),
                 qPrintable(describe(image.pixel(300, 300))));
    }

    void aViewMovedToAnotherWindowMakesItsRendererAgain() {
        ProjectModel model;
        model.setSurfaces(std::vector<Surface>{
            colourQuad("All", 0.0f, 0.0f, 1.0f, 1.0f, {1.0f, 0.0f, 0.0f, 1.0f})});
        ModelAdapter adapter(model);
        QWidget first;
        QWidget second;
        auto* firstLayout = new QVBoxLayout(&first);
        auto* secondLayout = new QVBoxLayout(&second);
        auto* view = new CanvasView(adapter, std::nullopt);
        firstLayout->addWidget(view);
        first.resize(160, 90);
        second.resize(160, 90);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QTRY_VERIFY(view->hasRenderer());

        secondLayout->addWidget(view); // a new top-level: a new GL context
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QTRY_VERIFY(view->hasRenderer());
        const QImage image = view->grabFramebuffer();
        QVERIFY(!image.isNull());
        QVERIFY2(near(image.pixel(image.width() / 2, image.height() / 2), 255, 0, 0),
                 qPrintable(describe(image.pixel(image.width() / 2, image.height() / 2))));
    }
};

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
