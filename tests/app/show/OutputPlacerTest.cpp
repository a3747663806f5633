// Where output windows go on a desk screen and a projector (Qt's offscreen
// platform with two screens), and what placing them by hand remembers.
#include "TwoOffscreenScreens.h"

#include "app/ModelAdapter.h"
#include "app/show/OutputPlacer.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/ScreenList.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

using namespace prismeta;

namespace {

QScreen* screenNamed(const char* name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == QLatin1String(name)) {
            return screen;
        }
    }
    return nullptr;
}

} // namespace

class OutputPlacerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProjectModel> model_;
    std::unique_ptr<ModelAdapter> adapter_;
    std::unique_ptr<OutputWindowRegistry> registry_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<OutputPlacer> placer_;

    void settle() { adapter_->flush(); }

    Uuid addOutput(const char* name, std::optional<OutputDisplay> display = std::nullopt) {
        OutputConfig output;
        output.name = name;
        output.display = std::move(display);
        std::vector<OutputConfig> outputs = model_->outputs();
        outputs.push_back(output);
        model_->setOutputs(outputs);
        settle();
        return output.id;
    }

    const OutputConfig& output(const Uuid& id) const {
        for (const OutputConfig& o : model_->outputs()) {
            if (o.id == id) {
                return o;
            }
        }
        static const OutputConfig none;
        return none;
    }

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QVERIFY(screenNamed("DESK") && screenNamed("PROJ"));
    }

    void init() {
        model_ = std::make_unique<ProjectModel>();
        adapter_ = std::make_unique<ModelAdapter>(*model_);
        registry_ = std::make_unique<OutputWindowRegistry>(*adapter_);
        // The main window, on the projector's screen this time.
        mainWindow_ = std::make_unique<QWidget>();
        mainWindow_->setGeometry(1700, 50, 800, 600);
        mainWindow_->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow_.get()));
        QCOMPARE(mainWindow_->screen(), screenNamed("PROJ"));
        placer_ = std::make_unique<OutputPlacer>(*adapter_, *registry_, mainWindow_.get());
    }

    void cleanup() {
        placer_.reset();
        registry_.reset();
        mainWindow_.reset();
        adapter_.reset();
        model_.reset();
    }

    void anUnplacedWindowOpensWhollyOnTheMainWindowsScreen() {
        OutputWindow* window = registry_->open(addOutput("Main"));
        QVERIFY(!window->isFullScreen());
        QCOMPARE(window->screen(), screenNamed("PROJ"));
        QVERIFY2(projGeometry.contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(window->frameGeometry().x())
                                .arg(window->frameGeometry().y())
                                .arg(window->frameGeometry().width())
                                .arg(window->frameGeometry().height())));
        QCOMPARE(window->size(), QSize(960, 540));
        // Opening it placed it; it remembered nothing.
        QVERIFY(!model_->outputs().front().display);
        QVERIFY(!placer_->placement(window)->bound);
    }

    void aWindowGoesToItsOutputsScreenAndTheFlagSaysHow() {
        QScreen* desk = screenNamed("DESK");
        const Uuid full = addOutput("Full", displayOn(*desk, true));
        const Uuid framed = addOutput("Framed", displayOn(*desk, false));
        const std::vector<OutputConfig> before = model_->outputs();

        OutputWindow* fullWindow = registry_->open(full);
        QTRY_VERIFY(fullWindow->isFullScreen());
        QCOMPARE(fullWindow->screen(), desk);
        QCOMPARE(fullWindow->geometry(), deskGeometry);

        OutputWindow* framedWindow = registry_->open(framed);
        QVERIFY(!framedWindow->isFullScreen());
        QCOMPARE(framedWindow->screen(), desk);
        QVERIFY(deskGeometry.contains(framedWindow->frameGeometry()));
        QCOMPARE(framedWindow->geometry().center(), deskGeometry.center());

        // The pointer shows over a window, not over a full-screen output.
        QCOMPARE(fullWindow->cursor().shape(), Qt::BlankCursor);
        QVERIFY(framedWindow->cursor().shape() != Qt::BlankCursor);
        settle();
        QCOMPARE(model_->outputs(), before);
    }

    void whatTheUserDoesToAWindowIsRememberedButNotUndoable() {
        model_->addSurface(); // one undo step, to see that it stays the only one
        const Uuid id = addOutput("Stage");
        OutputWindow* window = registry_->open(id);
        QScreen* desk = screenNamed("DESK");
        QScreen* proj = screenNamed("PROJ");

        window->enterFullScreen(desk); // the context menu's "Full Screen On DESK"
        QTRY_VERIFY(window->isFullScreen());
        settle();
        QCOMPARE(window->geometry(), deskGeometry);
        QCOMPARE(output(id).display, std::optional(displayOn(*desk, true)));
        QCOMPARE(model_->undoStack().size(), std::size_t{1});
        QVERIFY(model_->hasUnsavedChanges());

        // Leaving full screen keeps the screen and remembers a window.
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!window->isFullScreen());
        settle();
        QCOMPARE(output(id).display, std::optional(displayOn(*desk, false)));
        QVERIFY(deskGeometry.contains(window->frameGeometry()));

        // F11 on the projector's screen.
        window->enterFullScreen(proj);
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(!window->isFullScreen());
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(window->isFullScreen());
        settle();
        QCOMPARE(window->geometry(), projGeometry);
        QCOMPARE(output(id).display, std::optional(displayOn(*proj, true)));
        QCOMPARE(model_->undoStack().size(), std::size_t{1});

        // A window for no output remembers nothing anywhere.
        const std::vector<OutputConfig> before = model_->outputs();
        OutputWindow* fallback = registry_->open(std::nullopt);
        fallback->enterFullScreen(desk);
        settle();
        QCOMPARE(model_->outputs(), before);
    }

    void aDisplayChosenForAnOpenWindowMovesItAndNoneLeavesIt() {
        const Uuid id = addOutput("Stage");
        OutputWindow* window = registry_->open(id);
        const QRect opened = window->geometry();

        std::vector<OutputConfig> outputs = model_->outputs();
        outputs[0].display = displayOn(*screenNamed("DESK"), true);
        model_->setOutputs(outputs);
        settle();
        QTRY_VERIFY(window->isFullScreen());
        QCOMPARE(window->geometry(), deskGeometry);

        // Renaming the output (another change of the list) moves nothing.
        window->leaveFullScreen();
        QTRY_VERIFY(!window->isFullScreen());
        const QRect framed = window->geometry();
        outputs = model_->outputs();
        outputs[0].name = "Renamed";
        model_->setOutputs(outputs);
        settle();
        QCOMPARE(window->geometry(), framed);

        outputs[0].display.reset();
        model_->setOutputs(outputs);
        settle();
        QCOMPARE(window->geometry(), framed);
        QVERIFY(opened.isValid());
    }

    void inAShowEveryOutputFillsItsScreenAndAbsentScreensAreLogged() {
        std::vector<std::string> lines;
        const ScopedLogSink sink([&lines](std::string_view line) { lines.emplace_back(line); });
        placer_->setShowMode(true);
        // The flag asks for a window; a show fills the screen anyway.
        const Uuid onProj = addOutput("Projector", displayOn(*screenNamed("PROJ"), false));
        const Uuid away =
            addOutput("Balcony", OutputDisplay{"HDMI-9", {4000, 0, 1920, 1080}, true});

        OutputWindow* shown = registry_->open(onProj);
        QTRY_VERIFY(shown->isFullScreen());
        QCOMPARE(shown->geometry(), projGeometry);

        // Its screen is not connected: a window on the primary screen, with
        // no pointer over it, until the screen comes.
        OutputWindow* waiting = registry_->open(away);
        QVERIFY(!waiting->isFullScreen());
        QCOMPARE(waiting->screen(), screenNamed("DESK"));
        QVERIFY(deskGeometry.contains(waiting->frameGeometry()));
        QCOMPARE(waiting->cursor().shape(), Qt::BlankCursor);
        QVERIFY(placer_->placement(waiting)->waiting);

        const std::vector<std::string> expected = {
            R"(Prismeta: show: output "Projector" is full screen on "PROJ")",
            R"(Prismeta: show: output "Balcony" waits for screen "HDMI-9", which is not )"
            R"(connected; shown on "DESK" meanwhile)"};
        QCOMPARE(lines, expected);

        // A window for no output fills the primary screen: with every screen
        // live the waiting window hides rather than cover a picture.
        OutputWindow* whole = registry_->open(std::nullopt);
        QTRY_VERIFY(whole->isFullScreen());
        QCOMPARE(whole->geometry(), deskGeometry);
        QCOMPARE(placer_->placement(waiting)->mode, OutputPlacement::Mode::hidden);
        QVERIFY(!waiting->isVisible());
        QCOMPARE(lines.back(), std::string(R"(Prismeta: show: output "Balcony" waits for screen )"
                                           R"("HDMI-9", which is not connected; hidden )"
                                           R"(meanwhile, since every screen shows an output)"));
        // It goes again, and the waiting window is back on the desk.
        whole->close();
        placer_->followScreens();
        QTRY_VERIFY(waiting->isVisible());
        QCOMPARE(waiting->screen(), screenNamed("DESK"));
    }
};

PRISMETA_TWO_SCREENS_MAIN(OutputPlacerTest)
#include "OutputPlacerTest.moc"
