// Editing the chosen mask in the editor: the gesture rules driven directly
// on a surface's mask (carried through the surface's corners) and an
// output's mask, then real mouse and key events on the editor view.
#include "app/ModelAdapter.h"
#include "app/editor/EditorInteraction.h"
#include "app/editor/EditorView.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>

using namespace prismeta;
using Gesture = EditorInteraction::Gesture;

namespace {

// A square fit 1000 points wide: one canvas unit is 1000 points.
const ViewRect fit1000{0.0, 0.0, 1000.0, 1000.0};

MaskPoint corner(float x, float y) {
    return MaskPoint{x, y, std::nullopt, std::nullopt};
}

// The surface covers canvas 0.2..0.6 both ways: picture point (u, v) lies at
// view point (200 + 400 u, 200 + 400 v).
ViewPoint pictureView(float u, float v) {
    return ViewPoint{200.0 + 400.0 * u, 200.0 + 400.0 * v};
}

struct Scene {
    ProjectModel model;
    EditorInteraction editor{model};

    Scene() {
        model.addSurface();
        Surface s = model.surfaces()[0];
        s.corners = {Pt{0.2f, 0.2f}, Pt{0.6f, 0.2f}, Pt{0.6f, 0.6f}, Pt{0.2f, 0.6f}};
        Mask square;
        square.points = {corner(0.25f, 0.25f), corner(0.75f, 0.25f), corner(0.75f, 0.75f),
                         corner(0.25f, 0.75f)};
        s.masks = {square};
        model.replaceSurface(0, s);
        model.setSelectedID(s.id);
        model.addOutput(OutputPreset::full);
        OutputConfig o = model.outputs()[0];
        Mask window;
        window.points = {corner(0.7f, 0.1f), corner(0.9f, 0.1f), corner(0.9f, 0.3f)};
        o.masks = {window};
        model.replaceOutput(0, o);
        editor.masks().setTarget(MaskTarget{MaskTarget::Record::surface, s.id, 0});
    }

    const Mask& mask() const { return model.surfaces()[0].masks[0]; }
};

} // namespace

class MaskEditingTest : public QObject {
    Q_OBJECT

private slots:
    void pointDragSnapsInPictureCoordinatesAsOneUndoStep() {
        Scene s;
        const std::size_t steps = s.model.undoStack().size();
        const Surface before = s.model.surfaces()[0];
        // A click on a point selects it and changes nothing.
        QCOMPARE(s.editor.press(pictureView(0.75f, 0.25f), fit1000), Gesture::mask);
        s.editor.release(pictureView(0.75f, 0.25f));
        QCOMPARE(s.editor.masks().selectedPoint(), std::optional<std::size_t>(1));
        QCOMPARE(s.model.undoStack().size(), steps);

        s.model.setSnapEnabled(true);
        s.editor.press(pictureView(0.75f, 0.25f), fit1000);
        s.editor.move(pictureView(0.5f, 0.1f));
        // 0.53 across the picture snaps to 0.5 (8/16), 0.02 down to 0.
        s.editor.move(pictureView(0.53f, 0.02f));
        s.editor.release(pictureView(0.53f, 0.02f));
        QCOMPARE(s.mask().points[1], corner(0.5f, 0.0f));
        QCOMPARE(s.model.undoStack().size(), steps + 1);
        s.model.undo();
        QCOMPARE(s.model.surfaces()[0], before);

        // The mask follows its surface: after a corner drag the point is
        // grabbed where the new corners put it.
        Surface moved = s.model.surfaces()[0];
        moved.corners[1] = Pt{0.8f, 0.2f};
        moved.corners[2] = Pt{0.8f, 0.6f};
        s.model.replaceSurface(0, moved);
        // Now u maps to 200 + 600 u across.
        QCOMPARE(s.editor.press(ViewPoint{200.0 + 600.0 * 0.75, 300.0}, fit1000), Gesture::mask);
        s.editor.release(ViewPoint{200.0 + 600.0 * 0.75, 300.0});
        QCOMPARE(s.editor.masks().selectedPoint(), std::optional<std::size_t>(1));
    }

    void altClickAddsAltDragPullsDoubleClickAndDeleteRemove() {
        Scene s;
        const std::size_t steps = s.model.undoStack().size();
        // Alt on the top edge at u = 0.375 adds a point there and drags it on.
        QCOMPARE(s.editor.press(pictureView(0.375f, 0.25f), fit1000, true), Gesture::mask);
        s.editor.move(pictureView(0.375f, 0.125f));
        s.editor.release(pictureView(0.375f, 0.125f));
        QCOMPARE(s.mask().points.size(), std::size_t{5});
        QVERIFY(std::abs(s.mask().points[1].x - 0.375f) < 1e-4f);
        QVERIFY(std::abs(s.mask().points[1].y - 0.125f) < 1e-4f);
        QCOMPARE(s.model.undoStack().size(), steps + 1);
        // Without Alt the path is not a handle: the press goes to the surface.
        QCOMPARE(s.editor.press(pictureView(0.6f, 0.25f), fit1000), Gesture::body);
        s.editor.release(pictureView(0.6f, 0.25f));

        // Alt-drag from point 2 (0.75, 0.25): the out handle under the
        // pointer, the in handle mirrored through the point.
        s.editor.press(pictureView(0.75f, 0.25f), fit1000, true);
        s.editor.move(pictureView(0.85f, 0.3f));
        s.editor.release(pictureView(0.85f, 0.3f));
        const MaskPoint& pulled = s.mask().points[2];
        QVERIFY(pulled.out && pulled.in);
        QVERIFY(std::abs(pulled.out->x - 0.85f) < 1e-4f && std::abs(pulled.out->y - 0.3f) < 1e-4f);
        QVERIFY(std::abs(pulled.in->x - 0.65f) < 1e-4f && std::abs(pulled.in->y - 0.2f) < 1e-4f);
        QCOMPARE(s.model.undoStack().size(), steps + 2);

        // The out handle is dragged on its own.
        s.editor.press(pictureView(0.85f, 0.3f), fit1000);
        s.editor.move(pictureView(0.9f, 0.25f));
        s.editor.release(pictureView(0.9f, 0.25f));
        QVERIFY(std::abs(s.mask().points[2].out->x - 0.9f) < 1e-4f);
        QVERIFY(std::abs(s.mask().points[2].in->x - 0.65f) < 1e-4f);

        // A double-click makes it a corner again, one step.
        QVERIFY(s.editor.masks().doubleClick(pictureView(0.75f, 0.25f), fit1000));
        QCOMPARE(s.mask().points[2], corner(0.75f, 0.25f));
        QCOMPARE(s.model.undoStack().size(), steps + 4);

        // Delete removes the selected point, one step each, never below three.
        QVERIFY(s.editor.masks().removeSelectedPoint());
        QVERIFY(s.editor.masks().removeSelectedPoint());
        QCOMPARE(s.mask().points.size(), std::size_t{3});
        QCOMPARE(s.model.undoStack().size(), steps + 6);
        QVERIFY(s.editor.masks().removeSelectedPoint());
        QCOMPARE(s.mask().points.size(), std::size_t{3});
        QCOMPARE(s.model.undoStack().size(), steps + 6);
        s.model.undo();
        QCOMPARE(s.mask().points.size(), std::size_t{4});
    }

    void altClickOnAStraightEdgeInPerspectiveAddsThePointUnderThePointer() {
        ProjectModel model;
        EditorInteraction editor{model};
        model.addSurface();
        Surface s = model.surfaces()[0];
        // A trapezoid: the picture's middle row lies where the diagonals
        // cross, a third of the way down (not halfway, as a linear map has it).
        s.corners = {Pt{0.0f, 0.0f}, Pt{1.0f, 0.0f}, Pt{0.75f, 0.5f}, Pt{0.25f, 0.5f}};
        Mask mask;
        mask.points = {corner(0.5f, 0.0f), corner(0.5f, 1.0f), corner(0.9f, 0.5f)};
        s.masks = {mask};
        model.replaceSurface(0, s);
        model.setSelectedID(s.id);
        editor.masks().setTarget(MaskTarget{MaskTarget::Record::surface, s.id, 0});
        QCOMPARE(editor.press(ViewPoint{500.0, 1000.0 / 3.0}, fit1000, true), Gesture::mask);
        editor.release(ViewPoint{500.0, 1000.0 / 3.0});
        const std::vector<MaskPoint>& points = model.surfaces()[0].masks[0].points;
        QCOMPARE(points.size(), std::size_t{4});
        QVERIFY(std::abs(points[1].x - 0.5f) < 1e-4f && std::abs(points[1].y - 0.5f) < 1e-4f);
    }

    void outputMaskIsEditedInCanvasCoordinatesAsOneUndoStep() {
        Scene s;
        const Uuid output = s.model.outputs()[0].id;
        s.editor.masks().setTarget(MaskTarget{MaskTarget::Record::output, output, 0});
        const std::size_t steps = s.model.undoStack().size();
        QCOMPARE(s.editor.press(ViewPoint{900.0, 300.0}, fit1000), Gesture::mask);
        s.editor.move(ViewPoint{950.0, 400.0});
        s.editor.release(ViewPoint{950.0, 400.0});
        QCOMPARE(s.model.outputs()[0].masks[0].points[2], corner(0.95f, 0.4f));
        QCOMPARE(s.model.undoStack().size(), steps + 1);
        const MaskPoint moved = s.model.outputs()[0].masks[0].points[2];
        s.model.undo();
        QVERIFY(s.model.outputs()[0].masks[0].points[2] != moved);
        s.model.redo();
        QCOMPARE(s.model.outputs()[0].masks[0].points[2], moved);

        // A surface's mask is shown and grabbed only while its surface is
        // selected; a target that names nothing grabs nothing.
        s.editor.masks().setTarget(
            MaskTarget{MaskTarget::Record::surface, s.model.surfaces()[0].id, 0});
        s.model.setSelectedID(std::nullopt);
        QCOMPARE(s.editor.press(pictureView(0.25f, 0.25f), fit1000), Gesture::body);
        s.editor.release(pictureView(0.25f, 0.25f));
        s.editor.masks().setTarget(MaskTarget{MaskTarget::Record::output, output, 5});
        QCOMPARE(s.editor.press(ViewPoint{950.0, 400.0}, fit1000), Gesture::body);
        s.editor.release(ViewPoint{950.0, 400.0});
    }

    void viewTakesAltClickDoubleClickAndDeleteBeforeTheWindowShortcut() {
        ProjectModel model;
        ModelAdapter adapter{model};
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new EditorView(adapter);
        layout->addWidget(view);
        // The window's own Delete, as the Edit menu's Delete Surface.
        auto* deleteSurface = new QAction(&window);
        deleteSurface->setShortcut(QKeySequence::Delete);
        window.addAction(deleteSurface);
        int deletes = 0;
        connect(deleteSurface, &QAction::triggered, [&deletes] { ++deletes; });
        window.resize(1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        model.addSurface();
        Surface s = model.surfaces()[0];
        s.corners = {Pt{0.0f, 0.0f}, Pt{1.0f, 0.0f}, Pt{1.0f, 1.0f}, Pt{0.0f, 1.0f}};
        Mask triangle;
        triangle.points = {corner(0.5f, 0.2f), corner(0.8f, 0.8f), corner(0.2f, 0.8f)};
        s.masks = {triangle};
        model.replaceSurface(0, s);
        model.setSelectedID(s.id);
        adapter.flush();
        view->setMaskTarget(MaskTarget{MaskTarget::Record::surface, s.id, 0});
        const auto at = [view](float x, float y) {
            const ViewPoint v = canvasToView(view->fit(), Pt{x, y});
            return QPoint(static_cast<int>(std::lround(v.x)), static_cast<int>(std::lround(v.y)));
        };

        // Alt-click on the bottom edge adds a point; Delete removes it again
        // and the window's Delete never fires.
        QTest::mouseClick(view, Qt::LeftButton, Qt::AltModifier, at(0.5f, 0.8f));
        QCOMPARE(model.surfaces()[0].masks[0].points.size(), std::size_t{4});
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(model.surfaces()[0].masks[0].points.size(), std::size_t{3});
        QCOMPARE(deletes, 0);

        // Alt-drag out handles, then a double-click makes the point a corner.
        QTest::mousePress(view, Qt::LeftButton, Qt::AltModifier, at(0.5f, 0.2f));
        QTest::mouseMove(view, at(0.7f, 0.2f));
        QTest::mouseRelease(view, Qt::LeftButton, Qt::AltModifier, at(0.7f, 0.2f));
        QVERIFY(model.surfaces()[0].masks[0].points[0].out.has_value());
        QTest::mouseDClick(view, Qt::LeftButton, {}, at(0.5f, 0.2f));
        QCOMPARE(model.surfaces()[0].masks[0].points[0], corner(0.5f, 0.2f));

        // With no mask point selected, Delete is the window's again.
        QTest::mouseClick(view, Qt::LeftButton, {}, at(0.05f, 0.05f));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(deletes, 1);
    }
};

QTEST_MAIN(MaskEditingTest)
#include "MaskEditingTest.moc"
