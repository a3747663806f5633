// The masks of the selected surface in the inspector: the list operations
// take one undo step each and the fields none, and undo brings the masks back
// with the surface.

#include "InspectorHarness.h"

#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "masks/MaskEdits.h"
#include "masks/MaskPresets.h"

#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace prismeta;

class MasksSectionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;

    MasksSection* masks() const { return h_->view->selectedControls()->masksSection(); }

    void add(MaskPreset preset) { add(masks(), preset); }

    void add(MasksSection* section, MaskPreset preset) {
        for (QAction* action : section->addMenu()->actions()) {
            if (action->text().toStdString() == maskPresetName(preset)) {
                action->trigger();
            }
        }
        h_->settle();
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const Mask& mask : h_->selected().masks) {
            result.push_back(mask.name);
        }
        return result;
    }

private slots:
    void init() {
        h_ = std::make_unique<InspectorHarness>();
        QVERIFY(QTest::qWaitForWindowActive(h_->view.get()));
        h_->model.addSurface();
        h_->model.addSurface();
        h_->settle();
    }

    void cleanup() { h_.reset(); }

    void addEditAndUndo() {
        QVERIFY(!masks()->fields()->isVisibleTo(h_->view.get()));
        QVERIFY(!masks()->deleteButton()->isEnabled());
        const std::size_t undo = h_->undoDepth();

        add(MaskPreset::ellipse);
        QCOMPARE(h_->undoDepth(), undo + 1);
        QCOMPARE(h_->selected().masks.size(), std::size_t{1});
        QVERIFY(h_->selected().masks[0] == makeMaskPreset(MaskPreset::ellipse));
        QCOMPARE(masks()->list()->count(), 1);
        QCOMPARE(masks()->nameField()->text(), QStringLiteral("Ellipse"));

        // Fields: written at once, no undo step.
        typeAndCommit(masks()->nameField(), QStringLiteral("Arch"));
        QTest::mouseClick(masks()->invertCheckBox(), Qt::LeftButton);
        QTest::keyClick(masks()->featherSlider(), Qt::Key_End);
        h_->settle();
        const Mask edited = h_->selected().masks[0];
        QCOMPARE(edited.name, std::string("Arch"));
        QVERIFY(edited.invert);
        QVERIFY(edited.enabled);
        QCOMPARE(edited.feather, Mask::maxFeather);
        QCOMPARE(edited.points, makeMaskPreset(MaskPreset::ellipse).points);
        QCOMPARE(h_->undoDepth(), undo + 1);
        QCOMPARE(masks()->list()->item(0)->text(), QStringLiteral("Arch  (inverted)"));

        // Undo takes back the add, and with it the fields' edits.
        h_->model.undo();
        h_->settle();
        QVERIFY(h_->selected().masks.empty());
        QCOMPARE(masks()->list()->count(), 0);
        QVERIFY(!masks()->fields()->isVisibleTo(h_->view.get()));
        h_->model.redo();
        h_->settle();
        QCOMPARE(h_->selected().masks.size(), std::size_t{1});
        QCOMPARE(masks()->nameField()->text(), QStringLiteral("Arch"));
    }

    void listOperationsAreOneStepEach() {
        add(MaskPreset::rectangle);
        add(MaskPreset::triangle);
        QCOMPARE(names(), (std::vector<std::string>{"Rectangle", "Triangle"}));
        QCOMPARE(masks()->currentMask(), std::optional<std::size_t>(1));
        QVERIFY(!masks()->moveDownButton()->isEnabled());
        const std::size_t undo = h_->undoDepth();

        QTest::mouseClick(masks()->duplicateButton(), Qt::LeftButton);
        h_->settle();
        QCOMPARE(names(), (std::vector<std::string>{"Rectangle", "Triangle", "Triangle copy"}));
        QCOMPARE(masks()->currentMask(), std::optional<std::size_t>(2));
        QTest::mouseClick(masks()->moveUpButton(), Qt::LeftButton);
        QTest::mouseClick(masks()->moveUpButton(), Qt::LeftButton);
        h_->settle();
        QCOMPARE(names(), (std::vector<std::string>{"Triangle copy", "Rectangle", "Triangle"}));
        QVERIFY(!masks()->moveUpButton()->isEnabled());
        masks()->setCurrentMask(1);
        QCOMPARE(masks()->nameField()->text(), QStringLiteral("Rectangle"));
        QTest::mouseClick(masks()->deleteButton(), Qt::LeftButton);
        h_->settle();
        QCOMPARE(names(), (std::vector<std::string>{"Triangle copy", "Triangle"}));
        QCOMPARE(masks()->nameField()->text(), QStringLiteral("Triangle"));
        QCOMPARE(h_->undoDepth(), undo + 4);

        h_->model.undo();
        h_->settle();
        QCOMPARE(names(), (std::vector<std::string>{"Triangle copy", "Rectangle", "Triangle"}));
        h_->model.undo();
        h_->model.undo();
        h_->model.undo();
        h_->settle();
        QCOMPARE(names(), (std::vector<std::string>{"Rectangle", "Triangle"}));

        // Another surface shows its own (no) masks; the first keeps its own.
        const Uuid first = h_->selected().id;
        h_->model.setSelectedID(h_->model.surfaces()[0].id == first ? h_->model.surfaces()[1].id
                                                                    : h_->model.surfaces()[0].id);
        h_->settle();
        QCOMPARE(masks()->list()->count(), 0);
        QVERIFY(!masks()->duplicateButton()->isEnabled());
        h_->model.setSelectedID(first);
        h_->settle();
        QCOMPARE(masks()->list()->count(), 2);
        QCOMPARE(masks()->currentMask(), std::optional<std::size_t>(0));
    }

    // An output's masks: made within its crop of the canvas; adding and
    // duplicating are undo steps of the output (as gestures on its masks),
    // a field is not.
    void outputMasksFillTheCropAndTheirListEditsAreUndoSteps() {
        h_->model.addOutput(OutputPreset::rightHalf);
        h_->settle();
        const std::size_t undo = h_->undoDepth();
        const OutputConfig output = h_->model.outputs().back();
        MasksSection* section = h_->view->outputsSection()->cards().back()->masksSection();
        add(section, MaskPreset::triangle);
        QTest::mouseClick(section->duplicateButton(), Qt::LeftButton);
        h_->settle();
        QTest::mouseClick(section->enabledCheckBox(), Qt::LeftButton);
        h_->settle();
        const std::vector<Mask>& made = h_->model.outputs().back().masks;
        QCOMPARE(made.size(), std::size_t{2});
        QVERIFY(made[0] == makeMaskPreset(MaskPreset::triangle, output.cropX, output.cropY,
                                          output.cropWidth, output.cropHeight));
        QCOMPARE(made[1].name, std::string("Triangle copy"));
        QVERIFY(!made[1].enabled);
        QCOMPARE(section->list()->item(1)->text(), QStringLiteral("Triangle copy  (off)"));
        QCOMPARE(h_->undoDepth(), undo + 2);
        QVERIFY(h_->selected().masks.empty());
    }

    // Mask Shape: the shape replaces the normal masks, keeps the holes, is
    // one undo step and becomes the mask the editor edits. Choosing masks
    // in either list tells the editor which one.
    void maskShapeAndTheMaskChosenForTheEditor() {
        QSignalSpy chosen(h_->view.get(), &InspectorView::maskChosen);
        add(MaskPreset::rectangle);
        add(MaskPreset::ellipse);
        QTest::mouseClick(masks()->invertCheckBox(), Qt::LeftButton);
        h_->settle();
        const Uuid surface = h_->selected().id;
        QCOMPARE(chosen.last().at(0).value<std::optional<MaskTarget>>(),
                 std::optional<MaskTarget>(MaskTarget{MaskTarget::Record::surface, surface, 1}));

        const std::size_t undo = h_->undoDepth();
        const std::vector<Mask> before = h_->selected().masks;
        QToolButton* button = h_->view->selectedControls()->maskShapeButton();
        for (QAction* action : button->menu()->actions()) {
            if (action->text() == QStringLiteral("Hexagon")) {
                action->trigger();
            }
        }
        h_->settle();
        const std::vector<Mask>& shaped = h_->selected().masks;
        QCOMPARE(shaped.size(), std::size_t{2});
        QVERIFY(shaped[0] == makeMaskShape(MaskShape::hexagon));
        QVERIFY(shaped[1] == before[1]);
        QCOMPARE(h_->undoDepth(), undo + 1);
        QCOMPARE(masks()->currentMask(), std::optional<std::size_t>(0));
        QCOMPARE(chosen.last().at(0).value<std::optional<MaskTarget>>(),
                 std::optional<MaskTarget>(MaskTarget{MaskTarget::Record::surface, surface, 0}));
        h_->model.undo();
        h_->settle();
        QVERIFY(h_->selected().masks == before);

        // A row of an output's list; selecting another surface, which has no
        // masks, leaves nothing to edit.
        h_->model.addOutput(OutputPreset::full);
        h_->settle();
        MasksSection* section = h_->view->outputsSection()->cards().back()->masksSection();
        add(section, MaskPreset::triangle);
        QCOMPARE(chosen.last().at(0).value<std::optional<MaskTarget>>(),
                 std::optional<MaskTarget>(
                     MaskTarget{MaskTarget::Record::output, h_->model.outputs().back().id, 0}));
        h_->model.setSelectedID(h_->model.surfaces()[0].id);
        h_->settle();
        QCOMPARE(chosen.last().at(0).value<std::optional<MaskTarget>>(),
                 std::optional<MaskTarget>());
    }
};

QTEST_MAIN(MasksSectionTest)
#include "MasksSectionTest.moc"
