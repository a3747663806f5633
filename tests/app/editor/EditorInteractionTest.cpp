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

ViewPoint offset(ViewPoint p, double dx, double dy) {
    return ViewPoint{p.x + dx, p.y + dy};
}

bool allFinite(const ProjectModel& model) {
    for (const Surface& s : model.surfaces()) {
        for (const Pt& p : s.corners) {
            if (!isFinite(p)) {
                return false;
            }
        }
        if (s.mesh) {
            for (const Pt& p : s.mesh->points) {
                if (!isFinite(p)) {
                    return false;
                }
            }
        }
    }
    return true;
}

// A square fit 1000 points wide: one canvas unit is 1000 points on both axes.
const ViewRect squareFit{0.0, 0.0, 1000.0, 1000.0};

} // namespace

class EditorInteractionTest : public QObject {
    Q_OBJECT

private slots:
    void fitAndConversions() {
        // An editor of 1000 x 500 points showing a 1920 x 1080 canvas.
        const ViewRect fit = aspectFit(1920.0, 1080.0, 1000.0, 500.0);
        const double s = 500.0 / 1080.0;
        QCOMPARE(fit.width, 1920.0 * s);
        QCOMPARE(fit.height, 500.0);
        QCOMPARE(fit.y, 0.0);
        QCOMPARE(fit.x, (1000.0 - 1920.0 * s) * 0.5);
        QVERIFY(std::abs(fit.width - 888.888888) < 1e-5 && std::abs(fit.x - 55.555555) < 1e-5);

        const ViewPoint centre = canvasToView(fit, Pt{0.5f, 0.5f});
        QVERIFY(std::abs(centre.x - 500.0) < 1e-9 && std::abs(centre.y - 250.0) < 1e-9);
        QCOMPARE(viewToCanvas(fit, ViewPoint{500.0, 250.0}), (Pt{0.5f, 0.5f}));
        QCOMPARE(viewToCanvas(fit, ViewPoint{fit.x, 0.0}), (Pt{0.0f, 0.0f}));
        // Computed in double, narrowed once: 0.1 of the width is 0.1f.
        QCOMPARE(viewToCanvas(fit, ViewPoint{fit.x + fit.width * 0.1, 0.0}).x, 0.1f);
        // Points in the bars lie outside 0..1.
        QVERIFY(viewToCanvas(fit, ViewPoint{10.0, 0.0}).x < 0.0f);

        QVERIFY(aspectFit(1920.0, 1080.0, 0.0, 500.0).isEmpty());
        QVERIFY(aspectFit(0.0, 1080.0, 1000.0, 500.0).isEmpty());
        QVERIFY(aspectFit(1920.0, -1.0, 1000.0, 500.0).isEmpty());
    }

    void placementClampsThenSnaps() {
        const float grid = ProjectModel::snapGrid;
        QCOMPARE(placeDraggedPoint({0.53f, 0.3f}, false, grid), (Pt{0.53f, 0.3f}));
        QCOMPARE(placeDraggedPoint({2.0f, -3.0f}, false, grid), (Pt{1.5f, -0.5f}));
        QCOMPARE(placeDraggedPoint({1.5f, -0.5f}, false, grid), (Pt{1.5f, -0.5f}));
        QCOMPARE(placeDraggedPoint({0.53f, 1.0f / 32.0f}, true, grid), (Pt{0.5f, 0.0625f}));
        // Halves go away from zero on both sides.
        QCOMPARE(placeDraggedPoint({-1.0f / 32.0f, 3.0f / 32.0f}, true, grid),
                 (Pt{-0.0625f, 0.125f}));
        // Clamped first: 1.52 is 1.5 before it is snapped.
        QCOMPARE(placeDraggedPoint({1.52f, -0.53f}, true, grid), (Pt{1.5f, -0.5f}));
        const float inf = std::numeric_limits<float>::infinity();
        QCOMPARE(placeDraggedPoint({inf, -inf}, true, grid), (Pt{1.5f, -0.5f}));
    }

    void cornerDragFollowsThePointerClampedAndSnappedAsOneUndoStep() {
        ProjectModel model;
        model.addSurface();
        const Surface before = model.surfaces()[0];
        const std::size_t undoBefore = model.undoStack().size();
        EditorInteraction editor(model);

        // Grabbed 3 points off the handle's centre: nothing changes until the
        // pointer moves, and then the corner sits under the pointer itself.
        const ViewPoint handle = canvasToView(squareFit, before.corners[1]);
        QCOMPARE(editor.press(offset(handle, 3, -2), squareFit), Gesture::corner);
        QCOMPARE(model.surfaces()[0], before);
        QCOMPARE(model.undoStack().size(), undoBefore);

        editor.move(ViewPoint{800.0, 100.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.8f, 0.1f}));
        editor.move(ViewPoint{2500.0, -900.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{1.5f, -0.5f}));
        editor.move(ViewPoint{-700.0, 1600.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{-0.5f, 1.5f}));
        editor.release(ViewPoint{-700.0, 1600.0});
        QCOMPARE(model.undoStack().size(), undoBefore + 1);
        const std::vector<Pt> others = {before.corners[0], before.corners[2], before.corners[3]};
        QCOMPARE((std::vector<Pt>{model.surfaces()[0].corners[0], model.surfaces()[0].corners[2],
                                  model.surfaces()[0].corners[3]}),
                 others);
        // Neither selects nor changes the selection.
        QCOMPARE(model.selectedID(), std::optional<Uuid>(before.id));

        model.undo();
        QCOMPARE(model.surfaces()[0], before);

        model.setSnapEnabled(true);
        QCOMPARE(editor.press(handle, squareFit), Gesture::corner);
        editor.move(ViewPoint{530.0, 1000.0 / 32.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.5f, 0.0625f}));
        editor.move(ViewPoint{-1000.0 / 32.0, 530.0});
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{-0.0625f, 0.5f}));
        editor.release(ViewPoint{-1000.0 / 32.0, 530.0});
        QCOMPARE(model.undoStack().size(), undoBefore + 1);
    }

    void laterHandlesLieOverEarlierOnes() {
        ProjectModel model;
        Surface s = quad(0.2f, 0.2f, 0.6f, 0.6f);
        s.corners[1] = s.corners[0]; // corners 0 and 1 on one spot
        model.setSurfaces(std::vector<Surface>{s});
        model.setSelectedID(s.id);
        EditorInteraction editor(model);

        QCOMPARE(editor.press(canvasToView(squareFit, s.corners[0]), squareFit), Gesture::corner);
        editor.move(ViewPoint{100.0, 100.0});
        editor.release(ViewPoint{100.0, 100.0});
        QCOMPARE(model.surfaces()[0].corners[0], s.corners[0]);
        QCOMPARE(model.surfaces()[0].corners[1], (Pt{0.1f, 0.1f}));

        // Handles exist only on the selected surface: with none, the same
        // press is a body gesture.
        model.setSelectedID(std::nullopt);
        QCOMPARE(editor.press(ViewPoint{600.0, 600.0}, squareFit), Gesture::body);
        editor.release(ViewPoint{600.0, 600.0});
    }

    void meshPointDragMovesOnePointAndKeepsTheCounts() {
        ProjectModel model;
        Surface s = quad(0.2f, 0.2f, 0.8f, 0.8f);
        s.mesh = WarpMesh::from(s.corners, 3, 3);
        model.setSurfaces(std::vector<Surface>{s});
        model.setSelectedID(s.id);
        EditorInteraction editor(model);

        // A meshed surface offers only mesh points: corner 0's spot is mesh
        // point 0, which has the smaller disc.
        const std::vector<EditorHandle>& handles = editor.handles(squareFit);
        QCOMPARE(handles.size(), std::size_t{16});
        QCOMPARE(handles[0].kind, HandleKind::meshPoint);
        QCOMPARE(handles[0].radius, 5.0);
        QCOMPARE(editor.press(offset(canvasToView(squareFit, s.corners[0]), 6, 0), squareFit),
                 Gesture::body);
        editor.release(offset(canvasToView(squareFit, s.corners[0]), 6, 0));

        const ViewPoint point5 = canvasToView(squareFit, s.mesh->points[5]);
        QCOMPARE(editor.press(offset(point5, 0, 4), squareFit), Gesture::meshPoint);
        editor.move(ViewPoint{450.0, 420.0});
        editor.move(ViewPoint{470.0, 410.0});
        editor.release(ViewPoint{470.0, 410.0});

        const Surface& after = model.surfaces()[0];
        QCOMPARE(after.corners, s.corners);
        QCOMPARE(after.mesh->cols, std::int64_t{3});
        QCOMPARE(after.mesh->rows, std::int64_t{3});
        for (std::size_t i = 0; i < 16; ++i) {
            QCOMPARE(after.mesh->points[i], (i == 5 ? Pt{0.47f, 0.41f} : s.mesh->points[i]));
        }
        QCOMPARE(model.undoStack().size(), std::size_t{1});
    }

    void bodyDragMovesCornersAndMeshFromTheStartInOneUndoStep() {
        ProjectModel model;
        Surface s = quad(0.2f, 0.2f, 0.6f, 0.6f);
        s.mesh = WarpMesh::from(s.corners, 2, 2);
        model.setSurfaces(std::vector<Surface>{s});
        EditorInteraction editor(model);

        // Press in the middle of the (unselected) surface and drag 100
        // points to the right, in steps and past the end and back.
        const ViewPoint start{400.0, 400.0};
        QCOMPARE(editor.press(start, squareFit), Gesture::body);
        QCOMPARE(model.selectedID(), std::optional<Uuid>(s.id));
        for (double dx = 7.0; dx < 150.0; dx += 13.0) {
            editor.move(offset(start, dx, 0.0));
        }
        editor.move(offset(start, 100.0, 0.0));
        editor.release(offset(start, 100.0, 0.0));

        const float d = static_cast<float>(100.0 / 1000.0);
        const Surface& after = model.surfaces()[0];
        for (std::size_t i = 0; i < 4; ++i) {
            QCOMPARE(after.corners[i], (Pt{s.corners[i].x + d, s.corners[i].y}));
        }
        for (std::size_t i = 0; i < s.mesh->points.size(); ++i) {
            QCOMPARE(after.mesh->points[i], (Pt{s.mesh->points[i].x + d, s.mesh->points[i].y}));
        }
        QCOMPARE(model.undoStack().size(), std::size_t{1});
        model.undo();
        QCOMPARE(model.surfaces()[0], s);
    }

    void bodyMovesAreNeitherClampedNorSnapped() {
        ProjectModel model;
        model.setSnapEnabled(true);
        const Surface s = quad(0.2f, 0.2f, 0.6f, 0.6f);
        model.setSurfaces(std::vector<Surface>{s});
        EditorInteraction editor(model);
        editor.press(ViewPoint{300.0, 300.0}, squareFit);
        editor.move(ViewPoint{300.0 + 2013.0, 300.0});
        editor.release(ViewPoint{300.0 + 2013.0, 300.0});
        QCOMPARE(model.surfaces()[0].corners[1].x, 0.6f + static_cast<float>(2.013));
    }

    void clickSelectsTheTopmostSurfaceOrClears() {
        ProjectModel model;
        const Surface lower = quad(0.1f, 0.1f, 0.5f, 0.5f);
        const Surface upper = quad(0.3f, 0.3f, 0.7f, 0.7f);
        model.setSurfaces(std::vector<Surface>{lower, upper});
        EditorInteraction editor(model);

        // The overlap goes to the later surface.
        editor.press(ViewPoint{400.0, 400.0}, squareFit);
        editor.release(ViewPoint{400.0, 400.0});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(upper.id));
        editor.press(ViewPoint{200.0, 200.0}, squareFit);
        editor.release(ViewPoint{200.0, 200.0});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(lower.id));

        // Empty canvas clears the selection and takes no undo step.
        editor.press(ViewPoint{900.0, 100.0}, squareFit);
        editor.release(ViewPoint{900.0, 100.0});
        QCOMPARE(model.selectedID(), std::nullopt);
        QVERIFY(model.undoStack().empty());

        // A press on empty space dragged onto a surface changes nothing.
        model.setSelectedID(lower.id);
        editor.press(ViewPoint{900.0, 100.0}, squareFit);
        editor.move(ViewPoint{650.0, 400.0});
        editor.move(ViewPoint{600.0, 600.0});
        editor.release(ViewPoint{600.0, 600.0});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(lower.id));
        QCOMPARE(model.surfaces()[0], lower);
        QCOMPARE(model.surfaces()[1], upper);
        QVERIFY(model.undoStack().empty());

        // Released under 3 points away: the small move stays, and the
        // surface under the release point is selected.
        editor.press(ViewPoint{450.0, 450.0}, squareFit); // upper, in the overlap
        editor.move(ViewPoint{452.0, 452.0});
        editor.release(ViewPoint{452.0, 452.0});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(upper.id));
        QCOMPARE(model.surfaces()[1].corners[0], (Pt{0.3f + 0.002f, 0.3f + 0.002f}));
        QCOMPARE(model.undoStack().size(), std::size_t{1});
    }

    void aClickKeepsTheRedoHistory() {
        ProjectModel model;
        model.addSurface();
        model.addSurface();
        model.undo(); // Surface 2 waits on the redo stack.
        const Surface first = model.surfaces()[0];
        EditorInteraction editor(model);

        editor.press(ViewPoint{500.0, 500.0}, squareFit);
        editor.move(ViewPoint{500.0, 500.0}); // a move event on the spot
        editor.release(ViewPoint{500.0, 500.0});
        QCOMPARE(model.selectedID(), std::optional<Uuid>(first.id));
        QCOMPARE(model.surfaces()[0], first);
        QCOMPARE(model.undoStack().size(), std::size_t{1});
        QCOMPARE(model.redoStack().size(), std::size_t{1});
        model.redo();
        QCOMPARE(model.surfaces().size(), std::size_t{2});
        model.undo();

        // A drag that comes back to where it began still is an edit.
        editor.press(ViewPoint{500.0, 500.0}, squareFit);
        editor.move(ViewPoint{520.0, 500.0});
        editor.move(ViewPoint{500.0, 500.0});
        editor.release(ViewPoint{500.0, 500.0});
        QCOMPARE(model.surfaces()[0].corners, first.corners);
        QVERIFY(model.redoStack().empty());
    }

    void arrowsNudgeByCanvasPixelsOneUndoStepEach() {
        ProjectModel model;
        model.addSurface();
        const Surface s = model.surfaces()[0];
        const std::size_t undoBefore = model.undoStack().size();
        EditorInteraction editor(model);

        QVERIFY(editor.nudge(Arrow::right, true, squareFit));
        QCOMPARE(model.surfaces()[0].corners[0].x, s.corners[0].x + 10.0f / 1920.0f);
        QVERIFY(editor.nudge(Arrow::right, true, squareFit));
        QVERIFY(editor.nudge(Arrow::right, true, squareFit));
        QCOMPARE(model.undoStack().size(), undoBefore + 3);
        model.undo();
        model.undo();
        QCOMPARE(model.surfaces()[0].corners[0].x, s.corners[0].x + 10.0f / 1920.0f);
        model.undo();
        QCOMPARE(model.surfaces()[0], s);

        QVERIFY(editor.nudge(Arrow::up, false, squareFit));
        QCOMPARE(model.surfaces()[0].corners[2],
                 (Pt{s.corners[2].x, s.corners[2].y - 1.0f / 1080.0f}));
        QVERIFY(editor.nudge(Arrow::left, false, squareFit));
        QVERIFY(editor.nudge(Arrow::down, false, squareFit));
        QCOMPARE(model.surfaces()[0].corners[2].x, s.corners[2].x - 1.0f / 1920.0f);

        // Meshes move along, and nothing is clamped: past 1.5 is fine.
        Surface meshed = model.surfaces()[0];
        meshed.mesh = WarpMesh::from(meshed.corners, 1, 1);
        meshed.corners[1].x = 1.4999f;
        model.replaceSurface(0, meshed);
        model.setSnapEnabled(true);
        for (int i = 0; i < 5; ++i) {
            editor.nudge(Arrow::right, true, squareFit);
        }
        QVERIFY(model.surfaces()[0].corners[1].x > 1.5f);
        QVERIFY(model.surfaces()[0].mesh->points[3].x != meshed.mesh->points[3].x);

        // No selection: not handled, nothing moves, no undo step.
        model.setSelectedID(std::nullopt);
        const std::size_t undoNow = model.undoStack().size();
        QVERIFY(!editor.nudge(Arrow::left, false, squareFit));
        QCOMPARE(model.undoStack().size(), undoNow);
    }

    void dragsOfSurfacesChangedMidwayChangeNothing() {
        ProjectModel model;
        model.addSurface();
        model.addSurface();
        const Surface second = model.surfaces()[1];
        model.setSelectedID(model.surfaces()[0].id);
        EditorInteraction editor(model);

        // Surface 1 goes away mid-drag; Surface 2 slides into its index.
        QCOMPARE(editor.press(canvasToView(squareFit, model.surfaces()[0].corners[2]), squareFit),
                 Gesture::corner);
        editor.move(ViewPoint{700.0, 800.0});
        model.deleteSelected();
        const std::size_t undoAfterDelete = model.undoStack().size();
        editor.move(ViewPoint{900.0, 900.0});
        editor.release(ViewPoint{900.0, 900.0});
        QCOMPARE(model.surfaces().size(), std::size_t{1});
        QCOMPARE(model.surfaces()[0], second);
        QCOMPARE(model.undoStack().size(), undoAfterDelete);

        // The list empties under a body drag.
        editor.press(ViewPoint{500.0, 500.0}, squareFit);
        editor.move(ViewPoint{520.0, 500.0});
        model.setSurfaces(std::vector<Surface>{});
        editor.move(ViewPoint{540.0, 500.0});
        editor.release(ViewPoint{540.0, 500.0});
        QVERIFY(model.surfaces().empty());

        // A mesh rebuilt with fewer points under a mesh-point drag, then
        // taken away: the grabbed point no longer exists.
        Surface s = quad(0.2f, 0.2f, 0.8f, 0.8f);
        s.mesh = WarpMesh::from(s.corners, 3, 3);
        model.setSurfaces(std::vector<Surface>{s});
        model.setSelectedID(s.id);
        QCOMPARE(editor.press(canvasToView(squareFit, s.mesh->points[15]), squareFit),
                 Gesture::meshPoint);
        Surface smaller = s;
        smaller.mesh = WarpMesh::from(s.corners, 1, 1);
        model.replaceSurface(0, smaller);
        editor.move(ViewPoint{100.0, 100.0});
        QCOMPARE(model.surfaces()[0], smaller);
        Surface plain = s;
        plain.mesh.reset();
        model.replaceSurface(0, plain);
        editor.move(ViewPoint{120.0, 100.0});
        editor.release(ViewPoint{120.0, 100.0});
        QCOMPARE(model.surfaces()[0], plain);

        // Corners cut to two under a drag of corner 3.
        model.setSurfaces(std::vector<Surface>{s});
        Surface flat = s;
        flat.mesh.reset();
        model.replaceSurface(0, flat);
        QCOMPARE(editor.press(canvasToView(squareFit, s.corners[3]), squareFit), Gesture::corner);
        flat.corners.resize(2);
        model.replaceSurface(0, flat);
        editor.move(ViewPoint{10.0, 10.0});
        editor.release(ViewPoint{10.0, 10.0});
        QCOMPARE(model.surfaces()[0], flat);
        QVERIFY(model.redoStack().empty());
    }

    void anEmptyFitOrCanvasChangesNothing() {
        ProjectModel model;
        model.addSurface();
        const SurfaceList before = model.surfaces();
        const std::size_t undoBefore = model.undoStack().size();
        EditorInteraction editor(model);

        const ViewRect empty{};
        QCOMPARE(editor.press(ViewPoint{0.0, 0.0}, empty), Gesture::none);
        editor.move(ViewPoint{50.0, 50.0});
        editor.release(ViewPoint{50.0, 50.0});
        QVERIFY(!editor.nudge(Arrow::right, false, empty));

        for (const CanvasSize size : {CanvasSize{0.0, 1080.0}, CanvasSize{1920.0, -1.0},
                                      CanvasSize{std::nan(""), 1080.0}}) {
            model.setCanvasSize(size);
            QCOMPARE(editor.press(ViewPoint{500.0, 500.0}, squareFit), Gesture::none);
            editor.move(ViewPoint{600.0, 500.0});
            editor.release(ViewPoint{600.0, 500.0});
            QVERIFY(!editor.nudge(Arrow::right, false, squareFit));
        }
        QCOMPARE(model.surfaces(), before);
        QCOMPARE(model.undoStack().size(), undoBefore);
        QVERIFY(model.selectedID().has_value());

        // A canvas far too small for single precision: a nudge step would be
        // infinite, so it is refused.
        model.setCanvasSize(CanvasSize{1e-60, 1e-60});
        QVERIFY(!editor.nudge(Arrow::down, true, squareFit));
        // A fit squeezed to a sliver: vertical moves overflow single precision.
        model.setCanvasSize(CanvasSize{1e300, 1.0});
        const ViewRect sliver = aspectFit(1e300, 1.0, 1000.0, 500.0);
        QVERIFY(!sliver.isEmpty());
        editor.press(ViewPoint{sliver.x + 500.0, sliver.y}, sliver);
        editor.move(ViewPoint{sliver.x + 500.0, sliver.y + 40.0});
        editor.release(ViewPoint{sliver.x + 500.0, sliver.y + 40.0});
        model.setSelectedID(model.surfaces()[0].id);
        const auto& handles = editor.handles(sliver);
        if (!handles.empty()) {
            editor.press(handles[0].center, sliver);
            editor.move(ViewPoint{handles[0].center.x, handles[0].center.y + 40.0});
            editor.release(ViewPoint{handles[0].center.x, handles[0].center.y + 40.0});
        }
        QVERIFY(allFinite(model));
    }

    void damagedSurfacesOfferOnlyTheHandlesThatExist() {
        std::vector<EditorHandle> handles;
        Surface s = quad(0.1f, 0.1f, 0.2f, 0.2f);
        s.corners.resize(3);
        collectHandles(s, squareFit, handles);
        QCOMPARE(handles.size(), std::size_t{3});
        s.corners.assign(6, Pt{0.5f, 0.5f});
        collectHandles(s, squareFit, handles);
        QCOMPARE(handles.size(), std::size_t{4});
        s.corners.clear();
        collectHandles(s, squareFit, handles);
        QVERIFY(handles.empty());

        // Counts that the points do not fill, or that are not counts at all.
        s.mesh = WarpMesh{3, 3, std::vector<Pt>(5)};
        collectHandles(s, squareFit, handles);
        QCOMPARE(handles.size(), std::size_t{5});
        QCOMPARE(handles[4].row, std::int64_t{1});
        QCOMPARE(handles[4].column, std::int64_t{0});
        s.mesh = WarpMesh{-4, 0, std::vector<Pt>(3)};
        collectHandles(s, squareFit, handles);
        QCOMPARE(handles.size(), std::size_t{3});
        QCOMPARE(handles[2].row, std::int64_t{0});
        QCOMPARE(handles[2].column, std::int64_t{2});

        QCOMPARE(meshPointIndex(1, 2, 3, 16), std::optional<std::size_t>(6));
        QCOMPARE(meshPointIndex(3, 3, 1, 4), std::nullopt);
        QCOMPARE(meshPointIndex(0, 2, -4, 3), std::optional<std::size_t>(2));
        QCOMPARE(meshPointIndex(1, 0, -4, 3), std::nullopt);
        QCOMPARE(meshPointIndex(1 << 20, 0, INT64_MAX - 1, 10), std::nullopt);
    }

    void meshLinesStayWithinThePoints() {
        struct Line {
            std::size_t first, stride, count;
            bool operator==(const Line&) const = default;
        };
        const auto lines = [](std::int64_t cols, std::int64_t rows, std::size_t n) {
            std::vector<Line> out;
            forEachMeshLine(cols, rows, n, [&](const MeshLine& l) {
                out.push_back({l.first, l.stride, l.count});
            });
            return out;
        };
        // A whole 2 x 1 grid: two rows of three, then three columns of two.
        QCOMPARE(lines(2, 1, 6),
                 (std::vector<Line>{{0, 1, 3}, {3, 1, 3}, {0, 3, 2}, {1, 3, 2}, {2, 3, 2}}));
        // Four of its six points: the second row and two columns are cut short.
        QCOMPARE(lines(2, 1, 4),
                 (std::vector<Line>{{0, 1, 3}, {3, 1, 1}, {0, 3, 2}, {1, 3, 1}, {2, 3, 1}}));
        // Counts in the quintillions over three points: a walk of a few steps.
        const auto huge = lines(INT64_MAX - 1, INT64_MAX - 1, 3);
        QCOMPARE(huge.size(), std::size_t{4});
        QCOMPARE(huge[0], (Line{0, 1, 3}));
        QVERIFY(lines(-1, 3, 10).empty());
        QVERIFY(lines(3, 3, 0).empty());
    }
};

QTEST_GUILESS_MAIN(EditorInteractionTest)
#include "EditorInteractionTest.moc"
