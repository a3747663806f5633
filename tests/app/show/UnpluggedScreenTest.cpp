// An output window on a projector that is unplugged (run-with-two-screens:
// RIGHT removed with xrandr while the window shows there as a window). Qt
// moves the window to another screen; that is not the user placing it, so
// the output keeps its screen and returns there when it is plugged in again.
#include "app/ModelAdapter.h"
#include "app/show/OutputPlacer.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "app/show/ScreenList.h"
#include "core/ProjectModel.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>

using namespace prismeta;

class UnpluggedScreenTest : public QObject {
    Q_OBJECT

private:
    static void xrandr(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xrandr"), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

private slots:
    void anOutputKeepsTheScreenThatWasUnplugged() {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QScreen* right = QGuiApplication::screens().at(1);
        QCOMPARE(right->name(), QStringLiteral("RIGHT"));
        const OutputDisplay onRight = displayOn(*right, false);

        ProjectModel model;
        ModelAdapter adapter(model);
        OutputWindowRegistry windows(adapter);
        OutputPlacer placer(adapter, windows, nullptr);
        OutputConfig output;
        output.display = onRight;
        model.setOutputs({output});
        adapter.flush();
        OutputWindow* window = windows.open(output.id);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_COMPARE(window->screen()->name(), QStringLiteral("RIGHT"));

        xrandr({QStringLiteral("--delmonitor"), QStringLiteral("RIGHT")});
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 1, 10000);
        QTRY_VERIFY(placer.placement(window)->waiting);
        adapter.flush();
        QCOMPARE(model.outputs().front().display, std::optional(onRight));

        xrandr({QStringLiteral("--setmonitor"), QStringLiteral("RIGHT"),
                QStringLiteral("1280/338x720/190+1280+0"), QStringLiteral("none")});
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 2, 10000);
        QTRY_COMPARE(window->screen()->name(), QStringLiteral("RIGHT"));
        QTRY_VERIFY(QRect(1280, 0, 1280, 720).contains(window->frameGeometry()));
        QVERIFY(!placer.placement(window)->waiting);
        adapter.flush();
        QCOMPARE(model.outputs().front().display, std::optional(onRight));
    }
};

QTEST_MAIN(UnpluggedScreenTest)
#include "UnpluggedScreenTest.moc"
