// Under Xvfb with the live GL canvas: what the editor shows, checked by the
// pixels of the window, at positions computed from the fit rule and the model.
#include "app/CanvasView.h"
#include "app/ModelAdapter.h"
#include "app/editor/EditorGeometry.h"
#include "app/editor/EditorOverlay.h"
#include "app/editor/EditorView.h"
#include "core/ProjectModel.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace prismeta;

namespace {

// Channels as 0..1 floats.
struct Colour {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};

Colour colourOf(QRgb pixel) {
    return {qRed(pixel) / 255.0, qGreen(pixel) / 255.0, qBlue(pixel) / 255.0};
}

Colour mix(Colour over, Colour under, double alpha) {
    return {over.r * alpha + under.r * (1.0 - alpha), over.g * alpha + under.g * (1.0 - alpha),
            over.b * alpha + under.b * (1.0 - alpha)};
}

double distance(Colour a, Colour b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

QString describe(Colour c) {
    return QStringLiteral("(%1, %2, %3)")
        .arg(c.r, 0, 'f', 3)
        .arg(c.g, 0, 'f', 3)
        .arg(c.b, 0, 'f', 3);
}

} // namespace

class EditorScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(CanvasView::platformSupportsGL()); }

    void cleanup() {
        // A failure leaves the picture behind for a person to look at.
        if (QTest::currentTestFailed() && !lastShot_.isNull()) {
            const QString path = QDir::temp().filePath(QStringLiteral("prismeta-editor-shot.png"));
            lastShot_.save(path);
            qWarning("the editor as grabbed: %s", qPrintable(path));
        }
        lastShot_ = QImage();
    }

    void showsReferenceOutlineAndHandlesWhereTheModelSays() {
        // A reference picture four times as wide as high, in three bands:
        // filling the 16:9 canvas crops its outer quarters away on each side,
        // so the red band (x < 100) is never seen.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString picturePath = folder.filePath(QStringLiteral("reference.png"));
        {
            QImage picture(400, 100, QImage::Format_RGB32);
            QPainter painter(&picture);
            painter.fillRect(0, 0, 100, 100, QColor(255, 0, 0));
            painter.fillRect(100, 0, 100, 100, QColor(0, 0, 255));
            painter.fillRect(200, 0, 200, 100, QColor(255, 255, 0));
            painter.end();
            QVERIFY(picture.save(picturePath));
        }
        const Colour blue{0, 0, 1};
        const Colour yellow{1, 1, 0};
        const Colour black{0, 0, 0};
        const Colour green{0, 1, 0};

        ProjectModel model;
        ModelAdapter adapter(model);
        Surface surface;
        surface.mediaKind = MediaKind::color;
        surface.color = RGBA{0.0f, 1.0f, 0.0f, 1.0f};
        model.setSurfaces(std::vector<Surface>{surface});
        model.setSelectedID(surface.id);
        model.setBackgroundOpacity(0.5);
        model.setBackgroundImagePath(picturePath.toStdString());

        EditorView editor(adapter);
        editor.resize(1000, 500);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTRY_VERIFY(!editor.referenceImage().image().isNull());
        auto* canvas = qobject_cast<CanvasView*>(editor.content());
        QVERIFY(canvas != nullptr);
        QTRY_VERIFY(canvas->hasRenderer());

        const ViewRect fit = editor.fit();
        QVERIFY(std::abs(fit.width - 1920.0 * 500.0 / 1080.0) < 1e-9);
        // Let a few frames land, then read the window as it is on screen.
        QTest::qWait(300);
        QImage shot;
        const auto grabbed = [&] {
            shot = editor.grab().toImage();
            return shot.width() == 1000;
        };
        QTRY_VERIFY(grabbed());
        lastShot_ = shot;
        const auto at = [&](double x, double y) {
            return colourOf(
                shot.pixel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))));
        };

        // The reference: scaled by 5 (500 / 100) to 2000 x 500, centred on
        // the fit; picture x lies at view x = (x - 200) * 5 + the fit's middle.
        const auto viewXOf = [&](double px) { return (px - 200.0) * 5.0 + fit.midX(); };
        // Outside the surface the canvas is black: half the picture over black.
        for (const double px : {115.0, 150.0, 190.0}) {
            const Colour c = at(viewXOf(px), fit.y + 20.0);
            QVERIFY2(distance(c, mix(blue, black, 0.5)) < 0.03, qPrintable(describe(c)));
        }
        for (const double px : {210.0, 260.0, 285.0}) {
            const Colour c = at(viewXOf(px), fit.y + fit.height - 20.0);
            QVERIFY2(distance(c, mix(yellow, black, 0.5)) < 0.03, qPrintable(describe(c)));
        }
        // Over the green surface (its middle; the handles are at its corners).
        {
            const Colour c = at(fit.midX() + 30.0, fit.midY());
            QVERIFY2(distance(c, mix(yellow, green, 0.5)) < 0.03, qPrintable(describe(c)));
        }

        // The handles: accent discs of radius 8 on the corners, ringed white.
        const QColor accentColour = editor.overlay()->accent();
        const Colour accent{accentColour.redF(), accentColour.greenF(), accentColour.blueF()};
        for (const Pt corner : surface.corners) {
            const ViewPoint centre = canvasToView(fit, corner);
            const Colour middle = at(centre.x, centre.y);
            QVERIFY2(distance(middle, accent) < 0.03, qPrintable(describe(middle)));
            // Just inside the ring (radius 7.5 to 8.5 of white).
            const Colour ring = at(centre.x + 8.0, centre.y);
            QVERIFY2(ring.r > 0.8 && ring.g > 0.8 && ring.b > 0.8, qPrintable(describe(ring)));
        }

        // The outline's top side runs from corner 0 to corner 1 along y =
        // fit.y + 0.25 * height, dashed 6 on and 4 off from corner 0: at 22
        // points along it the dash is on, at 18 it is off.
        const ViewPoint c0 = canvasToView(fit, surface.corners[0]);
        const double lineY = c0.y - 0.5; // the pixel row holding most of the line
        const Colour on = at(c0.x + 22.5, lineY);
        const Colour off = at(c0.x + 18.5, lineY);
        const Colour under = at(c0.x + 18.5, lineY - 6.0);
        QVERIFY2(distance(on, accent) < distance(on, under), qPrintable(describe(on)));
        QVERIFY2(distance(off, under) < 0.05, qPrintable(describe(off) + describe(under)));
    }

private:
    QImage lastShot_;
};

// The application's own start: GL widgets take the default format, set
// before QApplication exists.
int main(int argc, char** argv) {
    CanvasView::installDefaultSurfaceFormat();
    QApplication application(argc, argv);
    EditorScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "EditorScreenshotTest.moc"
