// The editor's gesture and key rules, driven without widgets: presses, moves
// and releases in view points on a fit rectangle, as the editor view feeds
// them from real mouse events.
#include "app/editor/EditorInteraction.h"
#include "app/editor/EditorGeometry.h"
#include "app/editor/EditorHandles.h"
#include "core/ProjectModel.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

using namespace prismeta;
using Gesture = EditorInteraction::Gesture;
using Arrow = EditorInteraction::Arrow;

namespace {

Surface quad(float left, float top, float right, float bottom) {
    Surface surface;
    surface.corners = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    return surface;
}

ViewPoint plus(ViewPoint p, double dx, double dy) {
    return ViewPoint{p.x + dx, p.y + dy};
}

// Press, move through `path`, release at its end.
void drag(EditorInteraction& editor, const ViewRect& fit, ViewPoint from,
          std::initializer_list<ViewPoint> path) {
    editor.press(from, fit);
    ViewPoint last = from;
    for (const ViewPoint p : path) {
        editor.move(p);
        last = p;
    }
    editor.release(last);
}

std::vector<EditorHandle> handlesOf(const Surface& surface, const ViewRect& fit) {
    std::vector<EditorHandle> handles;
    forEachHandle(surface, fit, [&](const EditorHandle& h) { handles.push_back(h); });
    return handles;
}

// A square fit 1000 points wide: one canvas unit is 1000 points on both axes.
const ViewRect fit1000{0.0, 0.0, 1000.0, 1000.0};

} // namespace

class EditorInteractionTest : public QObject {
    Q_OBJECT

private slots:
    void fitConversionsAndPlacement() {
        // An editor of 1000 x 500 points showing a 1920 x 1080 canvas.
        const ViewRect fit = aspectFit(1920.0, 1080.0, 1000.0, 500.0);
        QCOMPARE(fit.width, 1920.0 * (500.0 / 1080.0));
        QCOMPARE(fit.height, 500.0);
        QVERIFY(std::abs(fit.x - 55.5556) < 1e-4 && fit.y == 0.0);
        const ViewPoint centre = canvasToView(fit, Pt{0.5f, 0.5f});
        QVERIFY(std::abs(centre.x - 500.0) < 1e-9 && std::abs(centre.y - 250.0) < 1e-9);
        QCOMPARE(viewToCanvas(fit, ViewPoint{500.0, 250.0}), (Pt{0.5f, 0.5f}));
        QCOMPARE(viewToCanvas(fit, ViewPoint{fit.x + fit.width * 0.1, 0.0}).x, 0.1f);
        QVERIFY(aspectFit(1920.0, 1080.0, 0.0, 500.0).isEmpty());

        // Clamped to -0.5..1.5, then snapped with halves away from zero.
        const float grid = ProjectModel::snapGrid;
        QCOMPARE(placeDraggedPoint({2.0f, -3.0f}, false, grid), (Pt{1.5f, -0.5f}));
        QCOMPARE(placeDraggedPoint({0.53f, 0.3f}, false, grid), (Pt{0.53f, 0.3f}));
        QCOMPARE(placeDraggedPoint({0.53f, 1.0f / 32}, true, grid), (Pt{0.5f, 0.0625f}));
        QCOMPARE(placeDraggedPoint({-1.0f / 32, 1.52f}, true, grid), (Pt{-0.0625f, 1.5f}));
        const float inf = std::numeric_limits<float>::infinity();
        QCOMPARE(placeDraggedPoint({inf, -inf}, true, grid), (Pt{1.5f, -0.5f}));
    }

    void cornerDragIsClampedSnappedAndOneUndoStep() {
        ProjectModel model;
        model.addSurface();
        const Surface before = model.surfaces()[0];
        EditorInteraction editor(model);

        // Grabbed off the handle's centre: nothing changes before the pointer
        // moves, and then the corner sits under the pointer itself.
        const ViewPoint handle = canvasToView(fit1000, before.corners[1]);
        QCOMPARE(editor.press(plus(handle, 3, -2), fit1000), Gesture::corner);
        QCOMPARE(model.surfaces()[0], before);
        editor.move(ViewPoint{800.0, 100.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.8f, 0.1f}));
        editor.move(ViewPoint{2500.0, -900.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{1.5f, -0.5f}));
        editor.release(ViewPoint{2500.0, -900.0});
        QCOMPARE(model.surfaces()[0].corners[0], before.corners[0]);
        QCOMPARE(model.undoStack().size(), std::size_t{2});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(before.id));
        model.undo();
        QCOMPARE(model.surfaces()[0], before);

        model.setSnapEnabled(true);
        QCOMPARE(editor.press(handle, fit1000), Gesture::corner);
        editor.move(ViewPoint{530.0, 1000.0 / 32});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.5f, 0.0625f}));
        editor.move(ViewPoint{-1000.0 / 32, 530.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{-0.0625f, 0.5f}));
        editor.release(ViewPoint{-1000.0 / 32, 530.0});
        QCOMPARE(model.undoStack().size(), std::size_t{2});

        // Where handles overlap, the later one takes the press.
        Surface stacked = before;
        stacked.corners[1] = stacked.corners[0];
        model.replaceSurface(0, stacked);
        drag(editor, fit1000, canvasToView(fit1000, stacked.corners[0]), {{100.0, 100.0}});
        QCOMPARE(model.surfaces()[0].corners[0], stacked.corners[0]);
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.125f, 0.125f}));
    }

    void meshPointDragMovesOnePointAndKeepsTheCounts() {
        ProjectModel model;
        Surface s = quad(0.2f, 0.2f, 0.8f, 0.8f);
        s.mesh = WarpMesh::from(s.corners, 3, 3);
        model.setSurfaces(std::vector<Surface>{s});
        model.setSelectedID(s.id);
        EditorInteraction editor(model);

        // Only mesh points have handles: 6 points from corner 0 is outside
        // mesh point 0's disc (radius 5), though inside a corner's (8).
        QCOMPARE(handlesOf(s, fit1000).size(), std::size_t{16});
        const ViewPoint corner0 = canvasToView(fit1000, s.corners[0]);
        QCOMPARE(editor.press(plus(corner0, 6, 0), fit1000), Gesture::body);
        editor.release(plus(corner0, 6, 0));

        const ViewPoint point5 = canvasToView(fit1000, s.mesh->points[5]);
        QCOMPARE(editor.press(plus(point5, 0, 4), fit1000), Gesture::meshPoint);
        editor.move(ViewPoint{450.0, 420.0});
        editor.move(ViewPoint{470.0, 410.0});
        editor.release(ViewPoint{470.0, 410.0});
        Surface expected = s;
        expected.mesh->points[5] = Pt{0.47f, 0.41f};
        QCOMPARE(model.surfaces()[0], expected);
        QCOMPARE(model.undoStack().size(), std::size_t{1});
    }

    void bodyDragMovesFromTheStartUnsnappedInOneUndoStep() {
        ProjectModel model;
        model.setSnapEnabled(true); // not for body moves
        Surface s = quad(0.2f, 0.2f, 0.6f, 0.6f);
        s.mesh = WarpMesh::from(s.corners, 2, 2);
        s.mesh->interpolation = WarpMesh::Interpolation::smooth;
        model.setSurfaces(std::vector<Surface>{s});
        EditorInteraction editor(model);

        // 100 points to the right, reached by way of steps past it.
        const ViewPoint start{400.0, 400.0};
        QCOMPARE(editor.press(start, fit1000), Gesture::body);
        QCOMPARE(model.selectedID(), std::optional<Uuid>(s.id));
        for (double dx = 7.0; dx < 150.0; dx += 13.0) {
            editor.move(plus(start, dx, 0.0));
        }
        editor.move(plus(start, 100.0, 0.0));
        editor.release(plus(start, 100.0, 0.0));

        const float d = static_cast<float>(100.0 / 1000.0);
        const Surface& after = model.surfaces()[0];
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(after.corners[i], (Pt{s.corners[i].x + d, s.corners[i].y}));
        }
        for (std::size_t i = 0; i < s.mesh->points.size(); ++i) {
            QCOMPARE(after.mesh->points[i], (Pt{s.mesh->points[i].x + d, s.mesh->points[i].y}));
        }
        QCOMPARE(after.mesh->interpolation, WarpMesh::Interpolation::smooth); // stays smooth
        QCOMPARE(model.undoStack().size(), std::size_t{1});
        model.undo();
        QCOMPARE(model.surfaces()[0], s);

        // Nor clamped. (The press avoids the mesh points' handles.)
        drag(editor, fit1000, {300.0, 450.0}, {{2300.0, 450.0}});
        QCOMPARE(model.surfaces()[0].corners[1].x, 0.6f + 2.0f);
    }

    void clicksSelectTheTopmostSurfaceOrClear() {
        ProjectModel model;
        const Surface lower = quad(0.1f, 0.1f, 0.5f, 0.5f);
        const Surface upper = quad(0.3f, 0.3f, 0.7f, 0.7f);
        model.setSurfaces(std::vector<Surface>{lower, upper});
        EditorInteraction editor(model);

        drag(editor, fit1000, {400.0, 400.0}, {});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(upper.id));
        drag(editor, fit1000, {200.0, 200.0}, {});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(lower.id));
        drag(editor, fit1000, {900.0, 100.0}, {});
        QCOMPARE(model.selectedID(), std::nullopt);

        // A press on empty space dragged onto a surface changes nothing.
        model.setSelectedID(lower.id);
        drag(editor, fit1000, {900.0, 100.0}, {{650.0, 400.0}, {600.0, 600.0}});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(lower.id));
        QCOMPARE(model.surfaces(), SurfaceList({lower, upper}));
        QVERIFY(model.undoStack().empty());

        // Released under 3 points away: the small move stays, and what lies
        // under the release point is selected.
        drag(editor, fit1000, {450.0, 450.0}, {{452.0, 452.0}});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(upper.id));
        QCOMPARE(model.surfaces()[1].corners[0], (Pt{0.3f + 0.002f, 0.3f + 0.002f}));
        QCOMPARE(model.undoStack().size(), std::size_t{1});
    }

    void aClickKeepsTheRedoHistory() {
        ProjectModel model;
        model.addSurface();
        model.addSurface();
        model.undo(); // Surface 2 waits on the redo stack
        const Surface first = model.surfaces()[0];
        EditorInteraction editor(model);

        // A move event on the very spot of the press is no move.
        drag(editor, fit1000, {500.0, 500.0}, {{500.0, 500.0}});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(first.id));
        QCOMPARE(model.undoStack().size(), std::size_t{1});
        QCOMPARE(model.redoStack().size(), std::size_t{1});

        // A drag that comes back to where it began still is an edit.
        drag(editor, fit1000, {500.0, 500.0}, {{520.0, 500.0}, {500.0, 500.0}});
        QCOMPARE(model.surfaces()[0], first);
        QCOMPARE(model.undoStack().size(), std::size_t{2});
        QVERIFY(model.redoStack().empty());
    }

    void nudgesMoveMeshesTooWithoutClamping() {
        ProjectModel model;
        Surface s = quad(0.2f, 0.2f, 1.4999f, 0.6f);
        s.mesh = WarpMesh::from(s.corners, 1, 1);
        model.setSurfaces(std::vector<Surface>{s});
        EditorInteraction editor(model);
        QVERIFY(!editor.nudge(Arrow::up, false, fit1000)); // nothing selected

        model.setSelectedID(s.id);
        model.setSnapEnabled(true);
        QVERIFY(editor.nudge(Arrow::up, false, fit1000));
        QVERIFY(editor.nudge(Arrow::left, true, fit1000));
        const Pt d{-10.0f / 1920.0f, -1.0f / 1080.0f};
        QCOMPARE(model.surfaces()[0].mesh->points[3],
                 (Pt{s.mesh->points[3].x + d.x, s.mesh->points[3].y + d.y}));
        QCOMPARE(model.undoStack().size(), std::size_t{2});
        for (int i = 0; i < 3; ++i) {
            editor.nudge(Arrow::right, true, fit1000);
        }
        QVERIFY(model.surfaces()[0].corners[1].x > 1.5f);
    }

    void dragsOfSurfacesChangedMidwayChangeNothing() {
        ProjectModel model;
        model.addSurface();
        model.addSurface();
        const Surface second = model.surfaces()[1];
        model.setSelectedID(model.surfaces()[0].id);
        EditorInteraction editor(model);

        // Surface 1 is deleted mid-drag and Surface 2 slides into its index.
        const ViewPoint corner = canvasToView(fit1000, model.surfaces()[0].corners[2]);
        QCOMPARE(editor.press(corner, fit1000), Gesture::corner);
        editor.move(ViewPoint{700.0, 800.0});
        model.deleteSelected();
        editor.move(ViewPoint{900.0, 900.0});
        editor.release(ViewPoint{900.0, 900.0});
        QCOMPARE(model.surfaces(), SurfaceList({second}));

        // The same for a body drag.
        drag(editor, fit1000, {500.0, 500.0}, {{520.0, 500.0}});
        const Surface moved = model.surfaces()[0];
        editor.press(ViewPoint{500.0, 500.0}, fit1000);
        editor.move(ViewPoint{520.0, 500.0});
        const Surface other = quad(0.0f, 0.0f, 0.1f, 0.1f);
        model.setSurfaces(std::vector<Surface>{other, moved});
        editor.move(ViewPoint{540.0, 500.0});
        editor.release(ViewPoint{540.0, 500.0});
        QCOMPARE(model.surfaces()[0], other);

        // A mesh rebuilt smaller under a mesh-point drag, then taken away.
        Surface s = quad(0.2f, 0.2f, 0.8f, 0.8f);
        s.mesh = WarpMesh::from(s.corners, 3, 3);
        model.setSurfaces(std::vector<Surface>{s});
        model.setSelectedID(s.id);
        editor.press(canvasToView(fit1000, s.mesh->points[15]), fit1000);
        Surface smaller = s;
        smaller.mesh = WarpMesh::from(s.corners, 1, 1);
        model.replaceSurface(0, smaller);
        editor.move(ViewPoint{100.0, 100.0});
        QCOMPARE(model.surfaces()[0], smaller);
        smaller.mesh.reset();
        model.replaceSurface(0, smaller);
        editor.move(ViewPoint{120.0, 100.0});
        editor.release(ViewPoint{120.0, 100.0});
        QCOMPARE(model.surfaces()[0], smaller);

        // Corners cut to two under a drag of corner 3.
        editor.press(canvasToView(fit1000, s.corners[3]), fit1000);
        smaller.corners.resize(2);
        model.replaceSurface(0, smaller);
        editor.move(ViewPoint{10.0, 10.0});
        editor.release(ViewPoint{10.0, 10.0});
        QCOMPARE(model.surfaces()[0], smaller);
    }

    void anEmptyFitOrCanvasChangesNothing() {
        ProjectModel model;
        model.addSurface();
        const SurfaceList before = model.surfaces();
        EditorInteraction editor(model);

        QCOMPARE(editor.press(ViewPoint{0.0, 0.0}, ViewRect{}), Gesture::none);
        editor.move(ViewPoint{50.0, 50.0});
        editor.release(ViewPoint{50.0, 50.0});
        QVERIFY(!editor.nudge(Arrow::right, false, ViewRect{}));
        for (const CanvasSize size : {CanvasSize{0.0, 1080.0}, CanvasSize{1920.0, -1.0},
                                      CanvasSize{std::nan(""), 1080.0}, CanvasSize{1e-60, 1.0}}) {
            model.setCanvasSize(size);
            if (!(size.width > 0.0)) {
                QCOMPARE(editor.press(ViewPoint{500.0, 500.0}, fit1000), Gesture::none);
                editor.move(ViewPoint{600.0, 500.0});
                editor.release(ViewPoint{600.0, 500.0});
            }
            // A canvas too small for single precision makes the step infinite.
            QVERIFY(!editor.nudge(Arrow::right, false, fit1000));
        }
        QCOMPARE(model.surfaces(), before);
        QCOMPARE(model.undoStack().size(), std::size_t{1});

        // A fit squeezed to a sliver: vertical moves overflow single precision.
        model.setCanvasSize(CanvasSize{1e300, 1.0});
        const ViewRect sliver = aspectFit(1e300, 1.0, 1000.0, 500.0);
        QVERIFY(!sliver.isEmpty());
        const ViewPoint onSurface{sliver.x + 500.0, sliver.y};
        model.setSelectedID(std::nullopt);
        drag(editor, sliver, onSurface, {plus(onSurface, 0.0, 40.0)});
        model.setSelectedID(before[0].id);
        const ViewPoint handle = handlesOf(model.surfaces()[0], sliver).at(0).center;
        drag(editor, sliver, handle, {plus(handle, 0.0, 40.0)});
        for (const Pt p : model.surfaces()[0].corners) {
            QVERIFY(isFinite(p));
        }
    }

    void damagedSurfacesHaveOnlyTheHandlesAndLinesThatExist() {
        Surface s = quad(0.1f, 0.1f, 0.2f, 0.2f);
        s.corners.resize(3);
        QCOMPARE(handlesOf(s, fit1000).size(), std::size_t{3});
        s.corners.assign(6, Pt{0.5f, 0.5f});
        QCOMPARE(handlesOf(s, fit1000).size(), std::size_t{4});

        // Counts that the points do not fill, or that are not counts at all.
        s.mesh = WarpMesh{3, 3, std::vector<Pt>(5)};
        QCOMPARE(handlesOf(s, fit1000).size(), std::size_t{5});
        QCOMPARE(handlesOf(s, fit1000)[4].row, std::int64_t{1});
        s.mesh = WarpMesh{-4, 0, std::vector<Pt>(3)};
        QCOMPARE(handlesOf(s, fit1000)[2].column, std::int64_t{2});
        QCOMPARE(meshPointIndex(1, 2, 3, 16), std::optional<std::size_t>(6));
        QCOMPARE(meshPointIndex(3, 3, 1, 4), std::nullopt);
        QCOMPARE(meshPointIndex(0, 2, -4, 3), std::optional<std::size_t>(2));
        QCOMPARE(meshPointIndex(1 << 20, 0, INT64_MAX - 1, 10), std::nullopt);

        using Line = std::tuple<std::size_t, std::size_t, std::size_t>;
        const auto lines = [](std::int64_t cols, std::int64_t rows, std::size_t n) {
            std::vector<Line> out;
            forEachMeshLine(cols, rows, n, [&](const MeshLine& l) {
                out.emplace_back(l.first, l.stride, l.count);
            });
            return out;
        };
        // A 2 x 1 grid: two rows of three points, then three columns of two.
        QCOMPARE(lines(2, 1, 6),
                 (std::vector<Line>{{0, 1, 3}, {3, 1, 3}, {0, 3, 2}, {1, 3, 2}, {2, 3, 2}}));
        // Four of its six points: lines stop at the first missing point.
        QCOMPARE(lines(2, 1, 4),
                 (std::vector<Line>{{0, 1, 3}, {3, 1, 1}, {0, 3, 2}, {1, 3, 1}, {2, 3, 1}}));
        // Counts in the quintillions over three points: a walk of four lines.
        QCOMPARE(lines(INT64_MAX - 1, INT64_MAX - 1, 3).size(), std::size_t{4});
        QVERIFY(lines(-1, 3, 10).empty());
    }
};

QTEST_GUILESS_MAIN(EditorInteractionTest)
#include "EditorInteractionTest.moc"
