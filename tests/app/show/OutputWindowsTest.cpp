#include "app/LetterboxView.h"
#include "app/ModelAdapter.h"
#include "app/show/OutputView.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/ProjectModel.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <memory>

using namespace prismeta;

class OutputWindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProjectModel> model_;
    std::unique_ptr<ModelAdapter> adapter_;
    std::unique_ptr<OutputWindowRegistry> registry_;

    void settle() { adapter_->flush(); }

    Uuid addOutput(const char* name, float cropX, float cropWidth) {
        OutputConfig output;
        output.name = name;
        output.cropX = cropX;
        output.cropWidth = cropWidth;
        std::vector<OutputConfig> outputs = model_->outputs();
        outputs.push_back(output);
        model_->setOutputs(outputs);
        return output.id;
    }

private slots:
    void init() {
        model_ = std::make_unique<ProjectModel>();
        adapter_ = std::make_unique<ModelAdapter>(*model_);
        registry_ = std::make_unique<OutputWindowRegistry>(*adapter_);
    }

    void cleanup() {
        registry_.reset();
        adapter_.reset();
        model_.reset();
    }

    void oneWindowPerOutputID() {
        const Uuid left = addOutput("Left", 0.0f, 0.5f);
        const Uuid right = addOutput("Right", 0.5f, 0.5f);
        OutputWindow* first = registry_->open(left);
        QCOMPARE(registry_->open(left), first);
        QCOMPARE(registry_->count(), 1);
        QVERIFY(registry_->open(right) != first);
        // An absent id is a window of its own, also only once.
        OutputWindow* none = registry_->open(std::nullopt);
        QCOMPARE(registry_->open(std::nullopt), none);
        QCOMPARE(registry_->count(), 3);

        QCOMPARE(first->windowTitle(), QString("Left"));
        QCOMPARE(first->size(), QSize(960, 540));
        QCOMPARE(none->windowTitle(), QString("Output"));
        QVERIFY(none->view()->showsFallback());

        // A minimized window comes back when opened again.
        first->showMinimized();
        QCOMPARE(registry_->open(left), first);
        QVERIFY(!first->isMinimized());
    }

    void closingForgetsTheWindowAndLeavesTheModel() {
        const Uuid left = addOutput("Left", 0.0f, 0.5f);
        const std::vector<OutputConfig> before = model_->outputs();
        QPointer<OutputWindow> window = registry_->open(left);
        QVERIFY(window->close());
        QCOMPARE(registry_->count(), 0);
        QCOMPARE(registry_->window(left), nullptr);
        // Opened again before Qt deletes the closed one: a fresh window.
        OutputWindow* again = registry_->open(left);
        QVERIFY(again != window.data());
        QTRY_VERIFY(window.isNull());
        QCOMPARE(registry_->window(left), again);
        QCOMPARE(model_->outputs(), before);

        registry_->closeAll();
        QCOMPARE(registry_->count(), 0);
    }

    void aWindowFollowsItsOutputAndFallsBackWhenItIsGone() {
        const Uuid left = addOutput("Left", 0.0f, 0.5f);
        OutputWindow* window = registry_->open(left);
        QVERIFY(!window->view()->showsFallback());

        std::vector<OutputConfig> outputs = model_->outputs();
        outputs[0].name = "Stage Left";
        outputs[0].blendRight = 0.2f;
        model_->setOutputs(outputs);
        settle();
        QCOMPARE(window->windowTitle(), QString("Stage Left"));
        QCOMPARE(window->view()->config().blendRight, 0.2f);
        // Announced as a window (a frame to AT-SPI, not a filler), by name.
        QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(window);
        QVERIFY(announced != nullptr);
        QCOMPARE(announced->role(), QAccessible::Window);
        QCOMPARE(announced->text(QAccessible::Name), QString("Stage Left"));

        model_->setOutputs({});
        settle();
        QVERIFY(window->isVisible()); // stays open
        QVERIFY(window->view()->showsFallback());
        QCOMPARE(window->windowTitle(), QString("Output"));
        const OutputConfig& fallback = window->view()->config();
        QCOMPARE(fallback.cropX, 0.0f);
        QCOMPARE(fallback.cropWidth, 1.0f);
        QCOMPARE(fallback.cropHeight, 1.0f);
        QCOMPARE(fallback.blendLeft + fallback.blendRight + fallback.blendTop +
                     fallback.blendBottom,
                 0.0f);
        QVERIFY(model_->outputs().empty()); // never added

        // An output with that id again (a project reloaded): shown again.
        model_->setOutputs(outputs);
        settle();
        QCOMPARE(window->windowTitle(), QString("Stage Left"));
    }

    void theCropIsFittedWithItsAspectOnBlack() {
        // Canvas 1920 x 1080, half-width crop (960 x 1080) in 960 x 540.
        const Uuid left = addOutput("Left", 0.0f, 0.5f);
        OutputWindow* window = registry_->open(left);
        window->resize(960, 540);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->view()->size(), QSize(960, 540));
        QCOMPARE(window->view()->contentRect(), QRect(240, 0, 480, 540));
        QCOMPARE(window->view()->content()->geometry(), QRect(240, 0, 480, 540));

        // The full crop fills the window exactly.
        std::vector<OutputConfig> outputs = model_->outputs();
        outputs[0].cropWidth = 1.0f;
        model_->setOutputs(outputs);
        settle();
        QCOMPARE(window->view()->content()->geometry(), QRect(0, 0, 960, 540));

        // A new canvas size changes the aspect.
        model_->setCanvasSize({1080.0, 1080.0});
        settle();
        QCOMPARE(window->view()->content()->geometry(), QRect(210, 0, 540, 540));

        // An empty crop leaves only black.
        outputs[0].cropWidth = 0.0f;
        model_->setOutputs(outputs);
        settle();
        QVERIFY(window->view()->contentRect().isEmpty());
        QVERIFY(!window->view()->content()->isVisible());
    }

    void fullScreenTogglesAndHidesThePointer() {
        OutputWindow* window = registry_->open(addOutput("Left", 0.0f, 0.5f));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::keyClick(window, Qt::Key_F11);
        QTRY_VERIFY(window->isFullScreen());
        QCOMPARE(window->cursor().shape(), Qt::BlankCursor);
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!window->isFullScreen());
        QVERIFY(window->cursor().shape() != Qt::BlankCursor);

        QTest::mouseDClick(window->view(), Qt::LeftButton);
        QTRY_VERIFY(window->isFullScreen());
        QTest::mouseDClick(window->view(), Qt::LeftButton);
        QTRY_VERIFY(!window->isFullScreen());

        // Escape outside full screen does nothing; full screen on a named screen.
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(window->isVisible());
        QScreen* screen = QGuiApplication::screens().value(0);
        QVERIFY(screen != nullptr);
        QVERIFY(
            OutputWindow::fullScreenLabel(screen).startsWith("Full Screen On " + screen->name()));
        window->enterFullScreen(screen);
        QTRY_VERIFY(window->isFullScreen());
        window->leaveFullScreen();
        QTRY_VERIFY(!window->isFullScreen());
    }
};

QTEST_MAIN(OutputWindowsTest)
#include "OutputWindowsTest.moc"
