#include "ScriptedDialogs.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/calibration/CalibrationDialog.h"
#include "app/inspector/InspectorView.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/inspector/WarpGroup.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/WarpOverlay.h"
#include "core/ProjectModel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <cmath>
#include <memory>

using namespace prismeta;

namespace {

struct MenuItem {
    QString text;
    QKeySequence shortcut;
};

QString withoutMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrismetaApp> app_;
    ProjectModel* model_ = nullptr;

    // Lets the queued model refresh reach the widgets.
    void settle() { app_->adapter().flush(); }

    // Presses a key chord with another window in front: the commands are
    // application-wide.
    void press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(window, key, modifiers);
        settle();
    }

private slots:
    void init() {
        app_ = std::make_unique<PrismetaApp>(std::make_unique<ScriptedDialogs>());
        model_ = &app_->model();
        app_->show();
        QVERIFY(QTest::qWaitForWindowExposed(&app_->mainWindow()));
    }

    void cleanup() {
        app_.reset();
        model_ = nullptr;
    }

    void menusHoldEveryItemWithItsShortcut() {
        const QList<QAction*> menus = app_->mainWindow().menuBar()->actions();
        QCOMPARE(menus.size(), 7);
        const QStringList titles = {"File", "Edit", "Surface", "Output", "Window", "Show", "Help"};
        const QList<QList<MenuItem>> items = {
            {{"New Project", QKeySequence(Qt::CTRL | Qt::Key_N)},
             {"Open\u2026", QKeySequence(Qt::CTRL | Qt::Key_O)},
             {"Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
             {"Save As\u2026", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
             {"Relink Missing Media\u2026", QKeySequence()},
             {"Collect Project\u2026", QKeySequence()},
             {"Quit", QKeySequence(QKeySequence::Quit)}},
            {{"Undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
             {"Redo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
             {"Preferences\u2026", QKeySequence(QKeySequence::Preferences)}},
            {{"Add Surface", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
             {"Duplicate", QKeySequence(Qt::CTRL | Qt::Key_D)},
             {"Delete Selected", QKeySequence(Qt::CTRL | Qt::Key_Backspace)},
             {"Reset Corners", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
             {"Toggle Snap to Grid", QKeySequence(Qt::CTRL | Qt::Key_G)}},
            {{"Calibrate Outputs\u2026", QKeySequence()}},
            {{"Show Editor", QKeySequence(Qt::CTRL | Qt::Key_E)},
             {"Hide Editor", QKeySequence(QKeySequence::Close)},
             {"Cues", QKeySequence()}},
            {{"GO", QKeySequence(Qt::Key_Space)},
             {"Back", QKeySequence()},
             {"Record Cue", QKeySequence()},
             {"Update Cue", QKeySequence()},
             {"Delete Cue", QKeySequence()},
             {"Blackout", QKeySequence(Qt::Key_B)}},
            {{"About Prismeta", QKeySequence()}},
        };
        for (int m = 0; m < 7; ++m) {
            QCOMPARE(withoutMnemonic(menus[m]->text()), titles[m]);
            QList<QAction*> actions = menus[m]->menu()->actions();
            actions.removeIf([](QAction* a) { return a->isSeparator(); });
            QCOMPARE(actions.size(), items[m].size());
            for (int i = 0; i < actions.size(); ++i) {
                QCOMPARE(actions[i]->text(), items[m][i].text);
                QCOMPARE(actions[i]->shortcut(), items[m][i].shortcut);
                QCOMPARE(actions[i]->shortcutContext(), Qt::ApplicationShortcut);
            }
        }
        // "Toggle Snap to Grid" stands apart behind a separator.
        const QList<QAction*> surface = menus[2]->menu()->actions();
        QVERIFY(surface[surface.size() - 2]->isSeparator());
    }

    void aboutNamesTheApplicationsVersion() {
        QCoreApplication::setApplicationVersion(QStringLiteral("4.5.6"));
        app_->commands().about()->trigger();
        QMessageBox* box = app_->mainWindow().findChild<QMessageBox*>();
        QVERIFY(box != nullptr);
        QVERIFY(box->isVisible());
        QVERIFY2(box->text().contains(QStringLiteral("Prismeta 4.5.6")), qPrintable(box->text()));
        box->accept();
    }

    void undoAndRedoFollowTheirStacksEverythingElseStaysEnabled() {
        AppCommands& commands = app_->commands();
        const auto othersEnabled = [&] {
            for (QAction* action : commands.all()) {
                // Hide Editor is for a show only.
                if (action != commands.undo() && action != commands.redo() &&
                    action != commands.hideEditor() && !action->isEnabled()) {
                    return false;
                }
            }
            return true;
        };
        QVERIFY(!commands.undo()->isEnabled());
        QVERIFY(!commands.redo()->isEnabled());
        QVERIFY(othersEnabled()); // the Surface items too, with nothing selected
        QVERIFY(!commands.hideEditor()->isEnabled());

        model_->addSurface();
        settle();
        QVERIFY(commands.undo()->isEnabled());
        QVERIFY(!commands.redo()->isEnabled());

        commands.undo()->trigger();
        settle();
        QVERIFY(!commands.undo()->isEnabled());
        QVERIFY(commands.redo()->isEnabled());
        QVERIFY(othersEnabled());

        model_->newProject();
        settle();
        QVERIFY(!commands.redo()->isEnabled());
    }

    void shortcutsWorkWithAnotherWindowInFront() {
        // A second top-level window (an output window) is the active one.
        OutputWindow* output = app_->outputWindows().open(std::nullopt);
        QApplication::setActiveWindow(output);
        QVERIFY(QTest::qWaitForWindowActive(output));

        press(output, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(model_->surfaces().size(), std::size_t{1});
        press(output, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(model_->surfaces().size(), std::size_t{2});
        QCOMPARE(model_->surfaces()[1].name, std::string("Surface 1 copy"));

        // Move the copy, then put its corners back.
        Surface moved = model_->surfaces()[1];
        moved.corners[0] = {0.9f, 0.9f};
        model_->replaceSurface(1, moved);
        press(output, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(model_->surfaces()[1].corners[0], (Pt{0.25f, 0.25f}));

        press(output, Qt::Key_Backspace, Qt::ControlModifier);
        QCOMPARE(model_->surfaces().size(), std::size_t{1});

        const std::size_t undoDepth = model_->undoStack().size();
        press(output, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(model_->surfaces().size(), std::size_t{2});
        press(output, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(model_->surfaces().size(), std::size_t{1});
        QCOMPARE(model_->undoStack().size(), undoDepth);

        // Snap twice: back where it was, no undo step.
        press(output, Qt::Key_G, Qt::ControlModifier);
        QVERIFY(model_->snapEnabled());
        press(output, Qt::Key_G, Qt::ControlModifier);
        QVERIFY(!model_->snapEnabled());
        QCOMPARE(model_->undoStack().size(), undoDepth);
    }

    void selectionCommandsWithoutSelectionChangeNothing() {
        QMainWindow& window = app_->mainWindow();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        model_->addSurface();
        model_->setSelectedID(std::nullopt);
        settle();
        const SurfaceList before = model_->surfaces();
        const std::size_t undoDepth = model_->undoStack().size();

        press(&window, Qt::Key_D, Qt::ControlModifier);
        press(&window, Qt::Key_Backspace, Qt::ControlModifier);
        press(&window, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(model_->surfaces().sharesStorageWith(before));
        QCOMPARE(model_->undoStack().size(), undoDepth);
        QVERIFY(model_->redoStack().empty());

        // Undo with an empty redo stack, redo does nothing.
        press(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(model_->surfaces().sharesStorageWith(before));
    }

    void undoAndArrowsBelongToTheProjectOnceAFieldIsCommitted() {
        MainWindow& window = app_->mainWindow();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        model_->addSurface();
        settle();
        SelectedSurfaceControls* controls =
            window.inspectorPane()->findChild<SelectedSurfaceControls*>();
        QVERIFY(controls);
        QLineEdit* x = controls->cornerField(1, false);
        const auto cornerX = [this] { return model_->surfaces()[0].corners[1].x; };

        // Typing, then Return: the value is stored and the keyboard is the
        // editor's again, so an arrow nudges (one undo step) and Ctrl+Z
        // undoes that nudge, not the field's typing.
        x->setFocus(Qt::MouseFocusReason);
        x->selectAll();
        QTest::keyClicks(x, QStringLiteral("0.8"));
        QTest::keyClick(x, Qt::Key_Return);
        settle();
        QCOMPARE(cornerX(), 0.8f);
        QTRY_VERIFY(window.editorPane()->hasFocus());
        QTest::keyClick(window.editorPane(), Qt::Key_Right);
        settle();
        QCOMPARE(cornerX(), 0.8f + 1.0f / 1920.0f);
        QCOMPARE(model_->undoStack().size(), 2u);
        press(&window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(cornerX(), 0.8f);
        QCOMPARE(x->text(), QStringLiteral("0.800"));

        // A field that holds the keyboard but no typing of its own (a
        // button pressed through assistive technology leaves it there)
        // passes Undo and Redo to the project.
        x->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(x, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        settle();
        QCOMPARE(cornerX(), 0.8f + 1.0f / 1920.0f);
        QAccessibleInterface* reset =
            QAccessible::queryAccessibleInterface(controls->resetCornersButton());
        reset->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(model_->undoStack().size(), 3u);
        settle();
        QVERIFY(x->hasFocus());
        QCOMPARE(x->text(), QStringLiteral("0.750"));
        QTest::keyClick(x, Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(cornerX(), 0.8f + 1.0f / 1920.0f);
        QCOMPARE(x->text(), QStringLiteral("0.801"));

        // While typing, Ctrl+Z undoes the typing, back to what the model
        // holds and no further; the next one is the project's.
        QTest::keyClick(x, Qt::Key_End);
        QTest::keyClicks(x, QStringLiteral("9"));
        QTest::keyClick(x, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(x->text(), QStringLiteral("0.801"));
        QCOMPARE(model_->undoStack().size(), 2u);
        QTest::keyClick(x, Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(cornerX(), 0.8f);
        QCOMPARE(x->text(), QStringLiteral("0.800"));
        QCOMPARE(model_->undoStack().size(), 1u);

        // A button clicked with the pointer gives the keyboard back as well.
        QTest::mouseClick(controls->resetCornersButton(), Qt::LeftButton);
        settle();
        QCOMPARE(cornerX(), 0.75f);
        QTRY_VERIFY(window.editorPane()->hasFocus());
        QTest::keyClick(window.editorPane(), Qt::Key_Left);
        settle();
        QCOMPARE(cornerX(), 0.75f - 1.0f / 1920.0f);
    }

    void whileAWarpIsEditedTheKeysMoveItsHandlesFromEveryWindow() {
        MainWindow& window = app_->mainWindow();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        model_->addSurface(); // selected: the editor's arrows would move it
        model_->addOutput(OutputPreset::leftHalf);
        settle();
        auto* inspector = qobject_cast<InspectorView*>(window.inspectorPane());
        QVERIFY(inspector != nullptr);
        QVERIFY(!inspector->showsOutputs());
        inspector->tabs()->setCurrentIndex(1);
        WarpGroup* group = inspector->outputsSection()->cards().at(0)->warpGroup();
        const Uuid id = model_->outputs()[0].id;

        // Edit Warp opens the window, which takes the keys; the operator
        // then works on the card in the main window: the Grid switch, Add
        // Mesh. Each click gives the keyboard to the editor.
        QTest::mouseClick(group->editBox(), Qt::LeftButton);
        settle();
        OutputWindow* output = app_->outputWindows().window(id);
        QVERIFY(output != nullptr);
        WarpOverlay* overlay = output->view()->warpOverlay();
        QApplication::setActiveWindow(&window);
        QTest::mouseClick(group->gridBox(), Qt::LeftButton);
        QApplication::setActiveWindow(&window);
        QTest::mouseClick(group->addMeshButton(), Qt::LeftButton);
        settle();
        QVERIFY(model_->outputs()[0].warp && model_->outputs()[0].warp->mesh);
        // As before, the click hands the main window's keyboard to the editor.
        QTRY_COMPARE(window.focusWidget(), window.editorPane());

        // Tab, Right and Shift+Right move corner 0 by 11 raster pixels; the
        // surface stays.
        const Surface surface = model_->surfaces()[0];
        const Pt corner = model_->outputs()[0].warp->corners[0];
        QTest::keyClick(window.editorPane(), Qt::Key_Tab);
        QTest::keyClick(window.editorPane(), Qt::Key_Right);
        QTest::keyClick(window.editorPane(), Qt::Key_Right, Qt::ShiftModifier);
        settle();
        QCOMPARE(overlay->editingRules()->selected(), std::optional<std::size_t>(0));
        QCOMPARE(model_->surfaces()[0], surface);
        const double pixel = 1.0 / (overlay->width() * overlay->devicePixelRatioF());
        QVERIFY(std::fabs(model_->outputs()[0].warp->corners[0].x - (corner.x + 11 * pixel)) <
                1e-6);
        QCOMPARE(model_->outputs()[0].warp->corners[0].y, corner.y);
        // Edit > Undo names the step.
        QCOMPARE(app_->commands().undo()->text(), QStringLiteral("Undo Move Warp Corner"));

        // A field keeps the keys it edits with.
        QLineEdit* cropX =
            inspector->outputsSection()->cards().at(0)->cropField(OutputCard::Crop::x);
        cropX->setFocus(Qt::MouseFocusReason);
        const OutputWarp warp = *model_->outputs()[0].warp;
        QTest::keyClick(cropX, Qt::Key_Left);
        settle();
        QCOMPARE(*model_->outputs()[0].warp, warp);

        // Editing off: the arrows are the editor's again.
        QTest::mouseClick(group->editBox(), Qt::LeftButton);
        settle();
        QVERIFY(!model_->warpEditing(id));
        QTRY_COMPARE(window.focusWidget(), window.editorPane());
        QTest::keyClick(window.editorPane(), Qt::Key_Right);
        settle();
        QCOMPARE(*model_->outputs()[0].warp, warp);
        QVERIFY(model_->surfaces()[0].corners[0].x > surface.corners[0].x);
        QCOMPARE(app_->commands().undo()->text(), QStringLiteral("Undo Nudge Surface"));
        QCOMPARE(app_->commands().redo()->text(), QStringLiteral("Redo"));
    }

    void theInspectorComesUpOnTheOutputsForWarpsAndCalibration() {
        MainWindow& window = app_->mainWindow();
        auto* inspector = qobject_cast<InspectorView*>(window.inspectorPane());
        model_->addOutput(OutputPreset::full);
        model_->addOutput(OutputPreset::rightHalf);
        settle();
        QVERIFY(!inspector->showsOutputs());
        // Editing a warp (from anywhere) shows that output's Warp group.
        model_->setWarpEditing(model_->outputs()[1].id, true);
        settle();
        QVERIFY(inspector->showsOutputs());
        WarpGroup* group = inspector->outputsSection()->cards().at(1)->warpGroup();
        QScrollArea* scroll = inspector->outputsScrollArea();
        const QPoint top = group->mapTo(scroll->viewport(), QPoint(0, 0));
        QVERIFY(top.y() >= 0 && top.y() < scroll->viewport()->height());

        inspector->tabs()->setCurrentIndex(0);
        app_->commands().calibrateOutputs()->trigger();
        QVERIFY(inspector->showsOutputs());
        if (QWidget* dialog = app_->calibrationDialog()) {
            dialog->close();
        }
    }

    void toolbarHoldsFourLabelledButtonsInOrder() {
        MainWindow& window = app_->mainWindow();
        const QList<QAction*> actions = window.toolBar()->actions();
        QCOMPARE(actions.size(), 5);
        QVERIFY(actions[2]->isSeparator());
        const QList<QAction*> buttons = {actions[0], actions[1], actions[3], actions[4]};
        const QStringList labels = {"Add Surface", "Output", "Open", "Save"};
        const QStringList help = {"Add a new mapping surface", "Open the projector output window",
                                  QString(), QString()};
        for (int i = 0; i < 4; ++i) {
            auto* button =
                qobject_cast<QToolButton*>(window.toolBar()->widgetForAction(buttons[i]));
            QVERIFY(button != nullptr);
            QCOMPARE(buttons[i]->text(), labels[i]);
            QVERIFY(buttons[i]->isEnabled());
            QVERIFY(!buttons[i]->icon().isNull());
            QVERIFY(!buttons[i]->icon().pixmap(24, 24).isNull());
            QCOMPARE(button->toolTip(), help[i]);
            QCOMPARE(button->accessibleName(), labels[i]);
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        }
    }

    void addSurfaceButtonMakesAnUndoableSurface() {
        app_->mainWindow().addSurfaceTool()->trigger();
        QCOMPARE(model_->surfaces().size(), std::size_t{1});
        QCOMPARE(model_->undoStack().size(), std::size_t{1});
    }

    void outputButtonOpensTheFirstOutputMakingItOnce() {
        MainWindow& window = app_->mainWindow();
        window.outputTool()->trigger();
        QCOMPARE(model_->outputs().size(), std::size_t{1});
        QCOMPARE(model_->outputs()[0].name, std::string("Main"));
        OutputWindow* first = app_->outputWindows().window(model_->outputs()[0].id);
        QVERIFY(first != nullptr);
        QVERIFY(first->isVisible());

        window.outputTool()->trigger();
        QCOMPARE(model_->outputs().size(), std::size_t{1});
        QCOMPARE(app_->outputWindows().count(), 1);

        // With several outputs, the first one's window.
        model_->addOutput(OutputPreset::leftHalf);
        std::vector<OutputConfig> outputs = model_->outputs();
        std::swap(outputs[0], outputs[1]);
        model_->setOutputs(outputs);
        window.outputTool()->trigger();
        QVERIFY(app_->outputWindows().window(outputs[0].id) != nullptr);
        QCOMPARE(app_->outputWindows().count(), 2);
    }

    void mainWindowLayout() {
        MainWindow& window = app_->mainWindow();
        QSplitter* splitter = window.splitter();
        QCOMPARE(splitter->orientation(), Qt::Horizontal);
        QVERIFY(!splitter->childrenCollapsible());
        QCOMPARE(splitter->widget(0), window.editorPane());
        QCOMPARE(splitter->widget(1), window.inspectorPane());
        QCOMPARE(window.centralWidget()->minimumSize(), QSize(820, 480));
        QCOMPARE(window.editorPane()->minimumSize(), QSize(520, 400));
        QCOMPARE(window.inspectorPane()->minimumWidth(), 290);

        // The divider cannot squeeze either pane below its minimum.
        window.resize(1000, 600);
        splitter->setSizes({10, 5000});
        QVERIFY(splitter->sizes()[0] >= 520);
        splitter->setSizes({5000, 10});
        QVERIFY(splitter->sizes()[1] >= 290);

        QVERIFY(!window.editorPane()->accessibleName().isEmpty());
        QVERIFY(!window.inspectorPane()->accessibleName().isEmpty());
    }
};

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
