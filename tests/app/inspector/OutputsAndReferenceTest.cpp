// The reference section and the outputs section of the inspector, and the
// panel inside the application: snap switch against the menu command, the
// reference image buttons, output presets, cards, crop, blend and node fields
// and renames.

#include "../ScriptedDialogs.h"
#include "InspectorHarness.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/PrismetaApp.h"
#include "app/cluster/ShowNodes.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/DisplayPicker.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"
#include "app/inspector/ReferenceSection.h"
#include "app/show/OutputWindowRegistry.h"
#include "cluster/NodeDirectory.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace prismeta;

namespace {

void doubleClickName(OutputCard* card) {
    doubleClick(card->nameLabel(), card->nameLabel()->rect().center());
}

} // namespace

class OutputsAndReferenceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;

    ReferenceSection* reference() const { return h_->view->referenceSection(); }
    OutputsSection* outputs() const { return h_->view->outputsSection(); }
    OutputCard* card(std::size_t i) const { return outputs()->cards().at(i); }

    void addPreset(const QString& label) {
        for (QAction* action : outputs()->presetMenu()->actions()) {
            if (action->text() == label) {
                action->trigger();
            }
        }
        h_->settle();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() {
        h_ = std::make_unique<InspectorHarness>();
        QVERIFY(QTest::qWaitForWindowActive(h_->view.get()));
        // A surface and an undo snapshot, to see that nothing here touches them.
        h_->model.addSurface();
        h_->settle();
    }

    void cleanup() { h_.reset(); }

    void referenceButtonsFollowTheImage() {
        const SurfaceList surfaces = h_->model.surfaces();
        QCOMPARE(reference()->chooseButton()->text(), QStringLiteral("Choose\u2026"));
        QVERIFY(reference()->clearButton()->isHidden());
        QVERIFY(reference()->opacityRow()->isHidden());

        reference()->chooseButton()->click(); // cancelled
        QVERIFY(!h_->model.backgroundImagePath());
        QCOMPARE(h_->dialogs->filesAsked, std::vector<MediaFileType>{MediaFileType::image});

        h_->dialogs->fileAnswers.push_back("/pictures/room.jpg");
        reference()->chooseButton()->click();
        h_->settle();
        QCOMPARE(h_->model.backgroundImagePath(), std::optional<std::string>("/pictures/room.jpg"));
        QCOMPARE(reference()->chooseButton()->text(), QStringLiteral("Change\u2026"));
        QVERIFY(reference()->clearButton()->isVisible());
        QVERIFY(reference()->opacityRow()->isVisible());
        QCOMPARE(reference()->opacitySlider()->currentValue(), 0.5);

        reference()->opacitySlider()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(h_->model.backgroundOpacity(), 0.6);

        reference()->clearButton()->click();
        h_->settle();
        QVERIFY(!h_->model.backgroundImagePath());
        QCOMPARE(h_->model.backgroundOpacity(), 0.6);
        QVERIFY(reference()->opacityRow()->isHidden());
        QVERIFY(reference()->clearButton()->isHidden());
        QCOMPARE(reference()->chooseButton()->text(), QStringLiteral("Choose\u2026"));

        h_->dialogs->fileAnswers.push_back("/pictures/other.png");
        reference()->chooseButton()->click();
        h_->settle();
        QCOMPARE(reference()->opacitySlider()->currentValue(), 0.6);
        QVERIFY(h_->model.surfaces().sharesStorageWith(surfaces));
        QCOMPARE(h_->undoDepth(), 1u);
    }

    void snapSwitchAndMenuCommandAgreeAndTouchNoStack() {
        AppCommands commands(h_->adapter);
        h_->model.undo();
        h_->model.redo(); // both stacks in use: one undo, and then one redo
        h_->model.undo();
        h_->settle();
        const auto undo = h_->model.undoStack().size();
        const auto redo = h_->model.redoStack().size();
        QCheckBox* snap = reference()->snapSwitch();
        QCOMPARE(snap->text(), QStringLiteral("Snap"));
        QVERIFY(!snap->isChecked());

        snap->click();
        QVERIFY(h_->model.snapEnabled());
        commands.toggleSnap()->trigger();
        QVERIFY(!h_->model.snapEnabled());
        h_->settle();
        QVERIFY(!snap->isChecked());
        commands.toggleSnap()->trigger();
        h_->settle();
        QVERIFY(snap->isChecked());
        snap->click();
        QVERIFY(!h_->model.snapEnabled());

        // Assistive technology flips the switch through its Toggle action:
        // the flag follows, once, and the box's answer does not echo.
        ChangeCounter snapChanges(h_->model, ModelField::snapEnabled);
        h_->settle();
        QVERIFY(toggleThroughAccessibility(snap));
        QVERIFY(h_->model.snapEnabled());
        QCOMPARE(snapChanges.count, 1);
        h_->settle();
        QVERIFY(snap->isChecked());
        QCOMPARE(snapChanges.count, 1);
        QVERIFY(toggleThroughAccessibility(snap));
        QVERIFY(!h_->model.snapEnabled());
        QCOMPARE(snapChanges.count, 2);
        QCOMPARE(h_->model.undoStack().size(), undo);
        QCOMPARE(h_->model.redoStack().size(), redo);
    }

    void presetsAddNamedOutputsAndTheNoteComesAndGoes() {
        h_->view->showOutputs(); // the operator opens the Outputs tab
        const QStringList labels = {"Full Canvas", "Left Half", "Right Half", "Top Half",
                                    "Bottom Half"};
        QStringList shown;
        for (QAction* action : outputs()->presetMenu()->actions()) {
            shown << action->text();
        }
        QCOMPARE(shown, labels);
        QCOMPARE(outputs()->addButton()->accessibleName(), QStringLiteral("Add output"));
        QVERIFY(outputs()->emptyNote()->isVisible());
        QCOMPARE(outputs()->emptyNote()->text(),
                 QStringLiteral("Add an output for each projector, then Open its window and drag "
                                "it onto that display."));

        addPreset(QStringLiteral("Full Canvas"));
        addPreset(QStringLiteral("Full Canvas"));
        QVERIFY(!outputs()->emptyNote()->isVisible());
        QCOMPARE(outputs()->cards().size(), 2u);
        const auto& list = h_->model.outputs();
        QCOMPARE(list[0].name, std::string("Full"));
        QCOMPARE(list[1].name, std::string("Full"));
        QVERIFY(list[0].id != list[1].id);
        QCOMPARE(card(1)->nameLabel()->fullText(), QStringLiteral("Full"));

        for (const QString& label : labels.mid(1)) {
            addPreset(label);
            QCOMPARE(QString::fromStdString(h_->model.outputs().back().name), label);
        }
        QCOMPARE(h_->model.outputs()[3].cropX, 0.5f); // Right Half
        QCOMPARE(outputs()->cards().size(), 6u);
        QCOMPARE(h_->undoDepth(), 1u);
        QVERIFY(h_->openedOutputs.empty()); // adding opens no window
    }

    void cardsOpenTheirWindowAndDeleteTheirOutput() {
        h_->view->showOutputs(); // the operator opens the Outputs tab
        addPreset(QStringLiteral("Left Half"));
        addPreset(QStringLiteral("Right Half"));
        const Uuid left = h_->model.outputs()[0].id;
        const Uuid right = h_->model.outputs()[1].id;
        QCOMPARE(card(1)->openButton()->toolTip(), QStringLiteral("Open this output's window"));
        QCOMPARE(card(1)->deleteButton()->accessibleName(), QStringLiteral("Delete output"));
        QVERIFY(card(1)->deleteButton()->toolTip().isEmpty());

        card(1)->openButton()->click();
        QCOMPARE(h_->openedOutputs, std::vector<Uuid>{right});

        OutputCard* kept = card(1);
        card(0)->deleteButton()->click(); // no confirmation
        h_->settle();
        QCOMPARE(h_->model.outputs().size(), 1u);
        QCOMPARE(h_->model.outputs()[0].id, right);
        QCOMPARE(outputs()->cards().size(), 1u);
        QCOMPARE(card(0), kept); // the other card is kept, not rebuilt
        QVERIFY(outputs()->emptyNote()->isHidden());

        // Every output with the card's id goes (ids repeat in hand-made files).
        OutputConfig twin = h_->model.outputs()[0];
        twin.name = "Twin";
        h_->model.setOutputs({h_->model.outputs()[0], OutputConfig(), twin});
        h_->settle();
        QCOMPARE(outputs()->cards().size(), 3u);
        card(2)->deleteButton()->click();
        h_->settle();
        QCOMPARE(h_->model.outputs().size(), 1u);
        QVERIFY(h_->model.outputs()[0].id != right);
        card(0)->deleteButton()->click();
        h_->settle();
        QVERIFY(outputs()->cards().empty());
        QVERIFY(outputs()->emptyNote()->isVisible());
        QCOMPARE(h_->undoDepth(), 1u);
        Q_UNUSED(left);
    }

    void blendFieldsStoreWholePercentages() {
        addPreset(QStringLiteral("Full Canvas"));
        addPreset(QStringLiteral("Top Half"));
        const OutputConfig before = h_->model.outputs()[0];
        const OutputConfig other = h_->model.outputs()[1];
        QLineEdit* left = card(0)->blendField(OutputCard::Edge::left);
        QCOMPARE(left->text(), QStringLiteral("0%"));

        typeAndCommit(left, "20%");
        OutputConfig expected = before;
        expected.blendLeft = 0.2f;
        QVERIFY(h_->model.outputs()[0] == expected); // that field and only it
        QVERIFY(h_->model.outputs()[1] == other);
        h_->settle();
        QCOMPARE(left->text(), QStringLiteral("20%"));

        QLineEdit* bottom = card(0)->blendField(OutputCard::Edge::bottom);
        typeAndCommit(bottom, "-15"); // no sign needed, no clamping
        QCOMPARE(h_->model.outputs()[0].blendBottom, -0.15f);
        QCOMPARE(bottom->text(), QStringLiteral("-15%"));

        for (const char* bad : {"abc", "nan", "inf", "1e39", "", "%"}) {
            typeAndCommit(left, bad);
            QVERIFY2(h_->model.outputs()[0].blendLeft == 0.2f, bad);
            QCOMPARE(left->text(), QStringLiteral("20%"));
        }

        // A width the field shows rounded is not rounded by passing through.
        OutputConfig fine = h_->model.outputs()[0];
        fine.blendRight = 0.123f;
        h_->model.replaceOutput(0, fine);
        h_->settle();
        QLineEdit* right = card(0)->blendField(OutputCard::Edge::right);
        QCOMPARE(right->text(), QStringLiteral("12%"));
        right->setFocus();
        left->setFocus();
        QCOMPARE(h_->model.outputs()[0].blendRight, 0.123f);

        // Typing survives other changes; the card is updated in place.
        OutputCard* first = card(0);
        QLineEdit* top = first->blendField(OutputCard::Edge::top);
        top->setFocus();
        top->selectAll();
        QTest::keyClicks(top, "3");
        addPreset(QStringLiteral("Left Half"));
        fine = h_->model.outputs()[0];
        fine.blendRight = 0.5f;
        h_->model.replaceOutput(0, fine);
        h_->settle();
        QCOMPARE(card(0), first);
        QCOMPARE(top->text(), QStringLiteral("3"));
        QVERIFY(top->hasFocus());
        QCOMPARE(right->text(), QStringLiteral("50%"));
        QTest::keyClick(top, Qt::Key_Return);
        QCOMPARE(h_->model.outputs()[0].blendTop, 0.03f);
        QCOMPARE(h_->undoDepth(), 1u);
    }

    void cropFieldsStoreCanvasCoordinatesAsTheBlendFieldsDo() {
        addPreset(QStringLiteral("Right Half"));
        const OutputConfig before = h_->model.outputs()[0];
        QLineEdit* x = card(0)->cropField(OutputCard::Crop::x);
        QLineEdit* width = card(0)->cropField(OutputCard::Crop::width);
        QCOMPARE(x->text(), QStringLiteral("0.500"));
        QCOMPARE(card(0)->cropField(OutputCard::Crop::height)->text(), QStringLiteral("1.000"));

        // A 10 % overlap with the left half, no clamping, no undo step.
        typeAndCommit(x, "0.45");
        typeAndCommit(width, "0.55");
        OutputConfig expected = before;
        expected.cropX = 0.45f;
        expected.cropWidth = 0.55f;
        QVERIFY(h_->model.outputs()[0] == expected);
        QCOMPARE(width->text(), QStringLiteral("0.550"));
        for (const char* bad : {"abc", "nan", ""}) {
            typeAndCommit(width, bad);
            QVERIFY2(h_->model.outputs()[0].cropWidth == 0.55f, bad);
            QCOMPARE(width->text(), QStringLiteral("0.550"));
        }
        QCOMPARE(h_->undoDepth(), 1u);

        // A crop set elsewhere (OSC) shows; one being typed keeps its text,
        // and a value shown rounded is not rounded by passing through.
        width->setFocus();
        width->selectAll();
        QTest::keyClicks(width, "0.6");
        OutputConfig remote = h_->model.outputs()[0];
        remote.cropX = 0.1234f;
        remote.cropWidth = 0.9f;
        h_->model.replaceOutput(0, remote);
        h_->settle();
        QCOMPARE(x->text(), QStringLiteral("0.123"));
        QCOMPARE(width->text(), QStringLiteral("0.6"));
        QTest::keyClick(width, Qt::Key_Return);
        QCOMPARE(h_->model.outputs()[0].cropWidth, 0.6f);
        QCOMPARE(h_->model.outputs()[0].cropX, 0.1234f);
    }

    void nodeFieldListsTheShowsMachinesAndTheirScreens() {
        addPreset(QStringLiteral("Full Canvas"));
        NodeDirectory directory;
        NodeStatus status;
        status.screens = {{"HDMI-A", {0, 0, 1920, 1080}}, {"HDMI-B", {1920, 0, 1280, 800}}};
        QVERIFY(!directory.receive("pc-3", writeNodeStatus(status)));
        QVERIFY(!directory.receive("pc-4", offlineNodeStatus()));
        ShowNodes nodes;
        nodes.update(directory);
        outputs()->setShowNodes(&nodes);
        QComboBox* node = card(0)->nodeField();
        DisplayPicker* display = card(0)->displayPicker();
        QVERIFY(node->currentText().isEmpty()); // the leader
        QCOMPARE(node->count(), 3);
        QCOMPARE(node->itemText(2), QStringLiteral("pc-4 (offline)"));
        QVERIFY(display->itemOfScreen(QStringLiteral("HDMI-A")) < 0); // this machine's screens

        // Chosen from the list: stored at once, and the node's screens listed.
        node->setFocus();
        QTest::keyClick(node, Qt::Key_Down);
        QTest::keyClick(node, Qt::Key_Down);
        QCOMPARE(h_->model.outputs()[0].node, std::optional<std::string>("pc-3"));
        QCOMPARE(node->currentText(), QStringLiteral("pc-3"));
        display->setCurrentIndex(display->itemOfScreen(QStringLiteral("HDMI-B")));
        QCOMPARE(h_->model.outputs()[0].display,
                 std::optional(OutputDisplay{"HDMI-B", {1920, 0, 1280, 800}, true}));

        // Typed: a name no machine can have is refused; empty is the leader.
        typeAndCommit(node->lineEdit(), "pc 5");
        QCOMPARE(h_->model.outputs()[0].node, std::optional<std::string>("pc-3"));
        QCOMPARE(node->currentText(), QStringLiteral("pc-3"));
        typeAndCommit(node->lineEdit(), "pc-4");
        QCOMPARE(h_->model.outputs()[0].node, std::optional<std::string>("pc-4"));
        QCOMPARE(display->currentText(), QStringLiteral("HDMI-B (not on pc-4)"));
        typeAndCommit(node->lineEdit(), "");
        QVERIFY(!h_->model.outputs()[0].node);
        QCOMPARE(h_->undoDepth(), 1u);
        outputs()->setShowNodes(nullptr);
    }

    void inlineRenameOfOutputs() {
        h_->view->showOutputs(); // the operator opens the Outputs tab
        addPreset(QStringLiteral("Left Half"));
        addPreset(QStringLiteral("Right Half"));
        const Uuid first = h_->model.outputs()[0].id;
        QVERIFY(!h_->view->editingOutputID());

        doubleClickName(card(0));
        QCOMPARE(h_->view->editingOutputID(), first);
        QLineEdit* field = card(0)->nameField();
        QVERIFY(field->isVisible());
        QVERIFY(card(0)->nameLabel()->isHidden());
        QCOMPARE(field->text(), QStringLiteral("Left Half"));
        QCOMPARE(field->placeholderText(), QStringLiteral("Name"));
        QVERIFY(field->hasFocus());
        QTest::keyClicks(field, "Stage L");
        QCOMPARE(h_->model.outputs()[0].name, std::string("Stage L")); // each keystroke
        h_->settle();

        // Moving the editing to the other card keeps what was typed.
        doubleClickName(card(1));
        QCOMPARE(h_->view->editingOutputID(), h_->model.outputs()[1].id);
        QVERIFY(card(0)->nameField()->isHidden());
        QCOMPARE(card(0)->nameLabel()->fullText(), QStringLiteral("Stage L"));
        QVERIFY(card(1)->nameField()->isVisible());
        QTest::keyClicks(card(1)->nameField(), "Stage R");
        QTest::keyClick(card(1)->nameField(), Qt::Key_Return);
        QVERIFY(!h_->view->editingOutputID());
        QVERIFY(card(1)->nameField()->isHidden());
        QCOMPARE(card(1)->nameLabel()->fullText(), QStringLiteral("Stage R"));

        // Deleting the output being renamed keeps the editing id.
        doubleClickName(card(0));
        card(0)->deleteButton()->click();
        h_->settle();
        QCOMPARE(h_->view->editingOutputID(), first);
        QCOMPARE(outputs()->cards().size(), 1u);
        QVERIFY(!outputs()->cards().front()->isRenaming());
        QCOMPARE(h_->undoDepth(), 1u);
    }

    void theApplicationOpensAnOutputsWindowFromItsCard() {
        PrismetaApp app(std::make_unique<ScriptedDialogs>());
        app.show();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        auto* inspector = qobject_cast<InspectorView*>(app.mainWindow().inspectorPane());
        QVERIFY(inspector);
        app.model().addOutput(OutputPreset::rightHalf);
        app.model().addOutput(OutputPreset::leftHalf);
        app.adapter().flush();
        const Uuid second = app.model().outputs()[1].id;
        inspector->outputsSection()->cards().at(1)->openButton()->click();
        QCOMPARE(app.outputWindows().count(), 1);
        QVERIFY(app.outputWindows().window(second));
        inspector->outputsSection()->cards().at(1)->openButton()->click();
        QCOMPARE(app.outputWindows().count(), 1); // raised, not doubled
        app.outputWindows().closeAll();
    }
};

QTEST_MAIN(OutputsAndReferenceTest)
#include "OutputsAndReferenceTest.moc"
