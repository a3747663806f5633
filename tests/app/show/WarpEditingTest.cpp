// Editing an output's warp in its window, as an operator does on the
// projector: the window becomes the raster, handles follow drags and arrow
// keys (one undo step per drag and per run of nudges), Tab walks the
// handles; the output card's Warp group resets, meshes and picks the map.
#include "app/ModelAdapter.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/WarpGroup.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/WarpOverlay.h"
#include "core/ProjectModel.h"
#include "geometry/PictureMapping.h"
#include "geometry/UnwarpedPlacement.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <memory>

using namespace prismeta;

namespace {

// A file dialog that answers with a fixed path.
class AnsweringDialogs final : public InspectorDialogs {
public:
    std::optional<QColor> chooseColor(const QColor&) override { return std::nullopt; }
    std::optional<std::string> chooseFile(MediaFileType) override { return answer; }
    std::optional<std::string> answer;
};

// Within a thousandth of a point: raster coordinates are floats.
bool closeTo(QPointF a, QPoint b) {
    return std::fabs(a.x() - b.x()) < 1e-3 && std::fabs(a.y() - b.y()) < 1e-3;
}

bool near(Pt a, Pt b, float tolerance = 1e-4f) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance;
}

} // namespace

class WarpEditingTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProjectModel> model_;
    std::unique_ptr<ModelAdapter> adapter_;
    std::unique_ptr<OutputWindow> window_;
    Uuid id_;

    void settle() {
        adapter_->flush();
        QCoreApplication::processEvents();
    }
    WarpOverlay* overlay() const { return window_->view()->warpOverlay(); }
    const OutputConfig& output() const { return model_->outputs()[0]; }
    QPoint at(Pt raster) const { return overlay()->toView(raster).toPoint(); }

private slots:
    void init() {
        model_ = std::make_unique<ProjectModel>();
        adapter_ = std::make_unique<ModelAdapter>(*model_);
        model_->addOutput(OutputPreset::leftHalf); // a crop of 960 x 1080: letterboxed
        id_ = output().id;
        window_ = std::make_unique<OutputWindow>(*adapter_, id_);
        window_->resize(800, 400);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        settle();
    }

    void cleanup() {
        window_.reset();
        adapter_.reset();
        model_.reset();
    }

    void editingMakesTheWindowTheRasterAndADragOneUndoStep() {
        QVERIFY(!overlay()->isVisible());
        const QRect letterboxed = window_->view()->contentRect();
        QVERIFY(letterboxed.width() < 800);
        const QRect canvasAt = window_->view()->content()->geometry();
        // The grid alone leaves the picture letterboxed and lies on it.
        model_->setWarpGrid(id_, true);
        settle();
        QVERIFY(overlay()->isVisible());
        QCOMPARE(window_->view()->contentRect(), letterboxed);
        const auto cornerAt = [this](std::size_t k) {
            return overlay()->toView(*overlay()->editingRules()->handle(k));
        };
        QVERIFY(closeTo(cornerAt(0), letterboxed.topLeft()));
        QVERIFY(closeTo(cornerAt(2),
                        letterboxed.topLeft() + QPoint(letterboxed.width(), letterboxed.height())));

        // Ticking Edit Warp changes nothing on the wall: the picture stays
        // letterboxed, drawn as before, and the handles start on its
        // corners. Unticking leaves it too.
        for (const bool on : {true, false, true}) {
            model_->setWarpEditing(id_, on);
            settle();
            QCOMPARE(window_->view()->contentRect(), letterboxed);
            QCOMPARE(window_->view()->content()->geometry(), canvasAt);
            QCOMPARE(window_->view()->config(), output());
            QVERIFY(!output().warp);
            QVERIFY(closeTo(cornerAt(0), letterboxed.topLeft()));
            QVERIFY(closeTo(cornerAt(1), letterboxed.topRight() + QPoint(1, 0)));
        }
        // The keys reach the handles without a click first.
        QCOMPARE(window_->focusWidget(), overlay());

        // Corner 2 dragged from the picture's bottom-right by (-80, -40) points.
        const std::size_t steps = model_->undoStack().size();
        const QPointF start = cornerAt(2);
        const QPoint from = start.toPoint();
        QTest::mousePress(overlay(), Qt::LeftButton, {}, from);
        QTest::mouseMove(overlay(), from - QPoint(40, 20));
        QTest::mouseMove(overlay(), from - QPoint(80, 40));
        QTest::mouseRelease(overlay(), Qt::LeftButton, {}, from - QPoint(80, 40));
        settle();
        QVERIFY(output().warp);
        // The window is the raster now; the other corners stay where the
        // letterbox put them.
        QCOMPARE(window_->view()->contentRect(), QRect(0, 0, 800, 400));
        const Pt dragged{static_cast<float>((start.x() - 80) / 800),
                         static_cast<float>((start.y() - 40) / 400)};
        QVERIFY(near(output().warp->corners[2], dragged));
        QVERIFY(
            near(output().warp->corners[0], Pt{static_cast<float>(letterboxed.x() / 800.0), 0}));
        QCOMPARE(model_->undoStack().size(), steps + 1);
        QCOMPARE(model_->undoName(), std::string("Move Warp Corner"));
        model_->undo();
        settle();
        QVERIFY(!output().warp);
        QCOMPARE(window_->view()->contentRect(), letterboxed);
    }

    void arrowsNudgeTheSelectedHandleOneRunOneStepAndTabWalksTheHandles() {
        model_->setWarpEditing(id_, true);
        settle();
        overlay()->setFocus();
        WarpEditing* rules = overlay()->editingRules();
        QVERIFY(rules != nullptr);
        // Tab selects corner 0, then 1.
        QTest::keyClick(overlay(), Qt::Key_Tab);
        QTest::keyClick(overlay(), Qt::Key_Tab);
        QTest::keyClick(overlay(), Qt::Key_Tab);
        QTest::keyClick(overlay(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(rules->selected(), std::optional<std::size_t>(1));
        QCOMPARE(window_->focusWidget(), overlay());

        const std::size_t steps = model_->undoStack().size();
        const double pixel = 1.0 / (800 * overlay()->devicePixelRatioF());
        // Corner 1 starts on the letterboxed picture's top-right.
        const Pt start = *rules->handle(1);
        QVERIFY(std::fabs(start.x * 800 - (window_->view()->contentRect().right() + 1)) < 1e-3);
        QTest::keyClick(overlay(), Qt::Key_Left);
        QTest::keyClick(overlay(), Qt::Key_Left);
        QTest::keyClick(overlay(), Qt::Key_Left, Qt::ShiftModifier);
        settle();
        QVERIFY(near(output().warp->corners[1],
                     Pt{static_cast<float>(start.x - 12 * pixel), start.y}, 1e-6f));
        QCOMPARE(model_->undoStack().size(), steps + 1);
        // Another handle starts another run.
        QTest::keyClick(overlay(), Qt::Key_Tab);
        QTest::keyClick(overlay(), Qt::Key_Down);
        settle();
        QCOMPARE(model_->undoStack().size(), steps + 2);
        // A click in between (on no handle) ends the run; the selection stays.
        QTest::mouseClick(overlay(), Qt::LeftButton, {}, at(Pt{0.5f, 0.5f}));
        QTest::keyClick(overlay(), Qt::Key_Down);
        settle();
        QCOMPARE(model_->undoStack().size(), steps + 3);
        QCOMPARE(rules->selected(), std::optional<std::size_t>(2));
        for (int i = 0; i < 3; ++i) {
            model_->undo();
        }
        QVERIFY(!output().warp);
    }

    void theCardResetsMeshesAndPicksTheBlendMapAsUndoSteps() {
        AnsweringDialogs dialogs;
        OutputCard card(*model_, output(), nullptr, &dialogs);
        WarpGroup* group = card.warpGroup();
        OutputWarp keystone;
        keystone.corners = {Pt{0.1f, 0.05f}, Pt{0.9f, 0}, Pt{1, 1}, Pt{0, 0.95f}};
        model_->setOutputWarp(id_, keystone);
        card.showOutput(output(), 0, false);

        group->columnsBox()->setValue(3);
        group->rowsBox()->setValue(2);
        // Scrolling the inspector past the counts leaves them.
        QWheelEvent wheel(QPointF(4, 4), QPointF(4, 4), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(group->columnsBox(), &wheel);
        QCOMPARE(group->columnsBox()->value(), 3);
        QTest::mouseClick(group->addMeshButton(), Qt::LeftButton);
        QVERIFY(output().warp->mesh);
        QCOMPARE(output().warp->mesh->points.size(), std::size_t{12});
        // The mesh keeps the shape: its middle point is where the keystone
        // put the crop's middle.
        const WarpMesh& mesh = *output().warp->mesh;
        const std::optional<Pt> middle =
            pictureToCanvas(keystone.corners, nullptr, Pt{1.0f / 3, 0.5f});
        QVERIFY(middle && near(mesh.points[5], *middle, 1e-5f));
        // Added smooth; the box shows it and switches it, a step each way.
        QCOMPARE(mesh.interpolation, WarpMesh::Interpolation::smooth);
        card.showOutput(output(), 0, false);
        QVERIFY(group->smoothBox()->isEnabled() && group->smoothBox()->isChecked());
        QTest::mouseClick(group->smoothBox(), Qt::LeftButton);
        QCOMPARE(output().warp->mesh->interpolation, WarpMesh::Interpolation::cells);
        card.showOutput(output(), 0, false);
        QVERIFY(!group->smoothBox()->isChecked());
        model_->undo();
        QCOMPARE(output().warp->mesh->interpolation, WarpMesh::Interpolation::smooth);

        card.showOutput(output(), 0, false);
        QTest::mouseClick(group->removeMeshButton(), Qt::LeftButton);
        QVERIFY(!output().warp->mesh);
        QCOMPARE(output().warp->corners, keystone.corners);
        card.showOutput(output(), 0, false);
        QVERIFY(!group->smoothBox()->isEnabled());

        dialogs.answer = "/show/maps/left.png";
        QTest::mouseClick(group->blendMapButton(), Qt::LeftButton);
        QCOMPARE(output().blendMap, std::optional<std::string>("/show/maps/left.png"));
        card.showOutput(output(), 0, false);
        QCOMPARE(group->blendMapLabel()->fullText(), QStringLiteral("left.png"));

        card.showOutput(output(), 0, false);
        QTest::mouseClick(group->resetButton(), Qt::LeftButton);
        QVERIFY(!output().warp);
        // Reset, the blend map, Remove Mesh and Add Mesh: a step each.
        for (const char* name : {"Reset Warp", "Choose Blend Map", "Remove Mesh", "Add Mesh"}) {
            QCOMPARE(model_->undoName(), std::string(name));
            model_->undo();
        }
        QCOMPARE(output().warp, std::optional<OutputWarp>(keystone));

        // Each step is named in Edit > Undo and Redo.
        QCOMPARE(model_->redoName(), std::string("Add Mesh"));

        // Edit Warp asks for the window and shows the handles there.
        QSignalSpy wanted(&card, &OutputCard::openRequested);
        QTest::mouseClick(group->editBox(), Qt::LeftButton);
        QVERIFY(model_->warpEditing(id_));
        QCOMPARE(wanted.count(), 1);
    }

    void anUnwarpedOutputsMeshAndPreviewStartOnItsLetterboxedPicture() {
        OutputCard card(*model_, output(), nullptr, nullptr);
        WarpGroup* group = card.warpGroup();
        // No display yet: the raster is the window's 960 x 540, on which the
        // 960 x 1080 crop is pillarboxed.
        const OutputWarp placed = unwarpedPlacement(960, 1080, 960, 540);
        QCOMPARE(placed.corners[0], (Pt{0.25f, 0}));
        QCOMPARE(group->preview()->warp(), placed);
        QTest::mouseClick(group->addMeshButton(), Qt::LeftButton);
        QVERIFY(output().warp && output().warp->mesh);
        QCOMPARE(output().warp->corners, placed.corners);
        QCOMPARE(model_->undoName(), std::string("Add Mesh"));
        model_->undo();

        // On a 1280 x 1080 projector the raster has its aspect, and the
        // preview spans the card, large enough to judge the picture.
        OutputConfig onScreen = output();
        onScreen.display = OutputDisplay{"HDMI-1", ScreenRect{0, 0, 1280, 1080}, true};
        model_->replaceOutput(0, onScreen);
        card.showOutput(output(), 0, false);
        QCOMPARE(group->preview()->warp(), unwarpedPlacement(960, 1080, 1280, 1080));
        card.resize(290, 1000);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        const QRect raster = group->preview()->rasterRect();
        QVERIFY2(raster.width() >= 230, qPrintable(QString::number(raster.width())));
        QVERIFY(std::abs(raster.width() * 1080.0 / 1280.0 - raster.height()) <= 1.0);
    }
};

QTEST_MAIN(WarpEditingTest)
#include "WarpEditingTest.moc"
