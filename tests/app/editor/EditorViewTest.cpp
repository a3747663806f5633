// The editor view with real mouse and key events (the offscreen platform
// shows a black panel where the GL canvas would be): drags, arrow keys with
// auto-repeat, keys passed on, focus, and the reference picture's loading.
#include "app/editor/EditorView.h"
#include "app/ModelAdapter.h"
#include "app/editor/EditorGeometry.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>
#include <fstream>

using namespace prismeta;

namespace {

// The window around the editor: records every key but the modifiers that
// reaches it.
class KeyRecorder : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Shift && event->key() != Qt::Key_Control) {
            keys.push_back(event->key());
        }
    }
};

struct Fixture {
    ProjectModel model;
    ModelAdapter adapter{model};
    KeyRecorder window;
    EditorView* editor = nullptr;

    Fixture() {
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        editor = new EditorView(adapter);
        layout->addWidget(editor);
        window.resize(1000, 500);
        window.show();
    }

    QPoint at(Pt p) const {
        const ViewPoint v = canvasToView(editor->fit(), p);
        return QPoint(static_cast<int>(std::lround(v.x)), static_cast<int>(std::lround(v.y)));
    }
};

} // namespace

class EditorViewTest : public QObject {
    Q_OBJECT

private slots:
    void takesFocusWhenShownAndOnBodyPressesOnly() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QCOMPARE(f.editor->size(), QSize(1000, 500));
        QTRY_VERIFY(f.editor->hasFocus());
        f.model.addSurface();
        f.adapter.flush();

        f.editor->clearFocus();
        const Pt corner = f.model.surfaces()[0].corners[2];
        QTest::mousePress(f.editor, Qt::LeftButton, {}, f.at(corner));
        QTest::mouseMove(f.editor, f.at(Pt{0.9f, 0.9f}));
        QTest::mouseRelease(f.editor, Qt::LeftButton, {}, f.at(Pt{0.9f, 0.9f}));
        QVERIFY(!f.editor->hasFocus());
        QCOMPARE(f.model.surfaces()[0].corners[2],
                 viewToCanvas(f.editor->fit(), ViewPoint{f.at({0.9f, 0.9f}).x() * 1.0,
                                                         f.at({0.9f, 0.9f}).y() * 1.0}));

        // A press in the bars is a body press too.
        QTest::mouseClick(f.editor, Qt::LeftButton, {}, QPoint(10, 250));
        QVERIFY(f.editor->hasFocus());
        QCOMPARE(f.model.selectedID(), std::nullopt);
    }

    void dragsThroughRealMouseEvents() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.model.addSurface();
        f.model.setSelectedID(std::nullopt);
        f.adapter.flush();
        const Surface before = f.model.surfaces()[0];

        // Pressing the body selects; dragging moves it from where it began.
        const QPoint start = f.at(Pt{0.5f, 0.5f});
        QTest::mousePress(f.editor, Qt::LeftButton, {}, start);
        QCOMPARE(f.model.selectedID(), std::optional<Uuid>(before.id));
        QTest::mouseMove(f.editor, start + QPoint(40, 0));
        QTest::mouseMove(f.editor, start + QPoint(80, 20));
        QTest::mouseRelease(f.editor, Qt::LeftButton, {}, start + QPoint(80, 20));
        const Pt d{static_cast<float>(80.0 / f.editor->fit().width),
                   static_cast<float>(20.0 / f.editor->fit().height)};
        QCOMPARE(f.model.surfaces()[0].corners[0],
                 (Pt{before.corners[0].x + d.x, before.corners[0].y + d.y}));
        QCOMPARE(f.model.undoStack().size(), std::size_t{2}); // addSurface and the drag

        // Other buttons do nothing.
        QTest::mouseClick(f.editor, Qt::RightButton, {}, f.at(Pt{0.05f, 0.05f}));
        QCOMPARE(f.model.selectedID(), std::optional<Uuid>(before.id));
    }

    void arrowKeysNudgeAndEveryOtherKeyPassesOn() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        auto* undo = new QAction(&f.window);
        undo->setShortcut(QKeySequence::Undo);
        f.window.addAction(undo);
        int undos = 0;
        connect(undo, &QAction::triggered, [&] { ++undos; });

        // Nothing selected: arrows reach the window.
        f.editor->setFocus();
        QTest::keyClick(f.editor, Qt::Key_Right);
        QCOMPARE(f.window.keys, std::vector<int>{Qt::Key_Right});

        f.model.addSurface();
        f.adapter.flush();
        const Surface s = f.model.surfaces()[0];
        const std::size_t undoBefore = f.model.undoStack().size();
        QTest::keyClick(f.editor, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(f.model.surfaces()[0].corners[0].x, s.corners[0].x + 10.0f / 1920.0f);
        // A held key: each auto-repeat is one more nudge and one more undo step.
        for (int i = 0; i < 3; ++i) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(f.editor, &repeat);
            QVERIFY(repeat.isAccepted());
        }
        QCOMPARE(f.model.undoStack().size(), undoBefore + 4);
        QCOMPARE(f.model.surfaces()[0].corners[0].y, s.corners[0].y + 3.0f / 1080.0f);
        QCOMPARE(f.window.keys, std::vector<int>{Qt::Key_Right});

        // Letters pass on; menu shortcuts still fire with the editor focused.
        QTest::keyClick(f.editor, Qt::Key_A);
        QCOMPARE(f.window.keys, (std::vector<int>{Qt::Key_Right, Qt::Key_A}));
        QTest::keySequence(f.editor, QKeySequence::Undo);
        QCOMPARE(undos, 1);
    }

    void loadsTheReferencePictureOncePerPath() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString picture = folder.filePath(QStringLiteral("guide.png"));
        QImage image(64, 32, QImage::Format_RGB32);
        image.fill(QColor(10, 200, 30));
        QVERIFY(image.save(picture));
        const QString text = folder.filePath(QStringLiteral("notes.png"));
        std::ofstream(text.toStdString()) << "not a picture";

        Fixture f;
        ReferenceImage& reference = f.editor->referenceImage();
        f.model.setBackgroundImagePath(picture.toStdString());
        f.adapter.flush();
        // A small picture may already be decoded by the first poll.
        QVERIFY(reference.loading() || !reference.image().isNull());
        QTRY_VERIFY(!reference.image().isNull());
        QCOMPARE(reference.image().size(), QSize(64, 32));
        QCOMPARE(QColor(reference.image().pixel(5, 5)), QColor(10, 200, 30));

        // Filled to a 16:9 rectangle: scaled by the larger ratio, cropped.
        const QImage& fitted = reference.fitted(ViewRect{0.0, 0.0, 160.0, 90.0}, 2.0);
        QCOMPARE(fitted.size(), QSize(320, 180));
        QCOMPARE(fitted.devicePixelRatio(), 2.0);

        // The same path again starts nothing; an opacity change neither.
        f.model.setBackgroundImagePath(picture.toStdString());
        f.model.setBackgroundOpacity(0.2);
        f.adapter.flush();
        QVERIFY(!reference.loading());
        QVERIFY(!reference.image().isNull());

        f.model.setBackgroundImagePath(text.toStdString());
        f.adapter.flush();
        QVERIFY(reference.image().isNull());
        QTRY_VERIFY(!reference.loading());
        QVERIFY(reference.image().isNull());

        f.model.setBackgroundImagePath(picture.toStdString());
        f.adapter.flush();
        QTRY_VERIFY(!reference.image().isNull());
        f.model.setBackgroundImagePath(std::nullopt);
        f.adapter.flush();
        QVERIFY(reference.image().isNull());
        QVERIFY(!reference.loading());
    }

    void drawsDamagedSurfacesWithoutFailing() {
        Fixture f;
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        Surface s;
        s.corners.resize(3);
        s.mesh = WarpMesh{INT64_MAX - 1, -3, std::vector<Pt>(7, Pt{0.5f, 0.5f})};
        Surface t;
        t.corners.clear();
        t.mesh = WarpMesh{4, 4, std::vector<Pt>(2, Pt{0.4f, 0.4f})};
        f.model.setSurfaces(std::vector<Surface>{s, t});
        for (const Surface& selected : {s, t}) {
            f.model.setSelectedID(selected.id);
            f.adapter.flush();
            QVERIFY(!f.editor->grab().isNull());
            // Its handles still drag.
            QTest::mousePress(f.editor, Qt::LeftButton, {}, f.at(Pt{0.5f, 0.5f}));
            QTest::mouseMove(f.editor, f.at(Pt{0.6f, 0.6f}));
            QTest::mouseRelease(f.editor, Qt::LeftButton, {}, f.at(Pt{0.6f, 0.6f}));
        }
        QCOMPARE(
            f.model.surfaces()[0].mesh->points.back(),
            viewToCanvas(f.editor->fit(), ViewPoint{static_cast<double>(f.at({0.6f, 0.6f}).x()),
                                                    static_cast<double>(f.at({0.6f, 0.6f}).y())}));
    }
};

QTEST_MAIN(EditorViewTest)
#include "EditorViewTest.moc"
