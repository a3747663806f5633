// A follower whose screens are not named as the leader's (Qt's offscreen
// platform: DESK, the primary, and PROJ), on a real broker: its outputs fill
// its own screens, it reports those screens, and the leader's output card
// lists them for an output of that machine.
#include "../show/TwoOffscreenScreens.h"
#include "BrokerProcess.h"
#include "ClusterRig.h"

#include "app/PrismetaApp.h"
#include "app/cluster/ClusterFollow.h"
#include "app/cluster/ShowNodes.h"
#include "app/cues/ShowCues.h"
#include "app/inspector/DisplayPicker.h"
#include "app/inspector/OutputCard.h"
#include "app/show/OutputPlacer.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/Log.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

using namespace prismeta;

class FollowerScreensTest : public QObject {
    Q_OBJECT

private slots:
    void aFollowerFillsItsOwnScreensAndTheLeaderListsThem() {
        std::vector<std::string> log;
        const ScopedLogSink sink([&log](std::string_view line) { log.emplace_back(line); });
        testing::BrokerProcess broker;
        QVERIFY(broker.running());
        testing::ClusterRig rig(broker);
        SystemRealTimeClock clock;

        // Chosen on the leader, from the leader's screens.
        ProjectModel leaderModel;
        std::vector<OutputConfig> outputs(3);
        outputs[0].name = "Main";
        outputs[1].name = "Left";
        outputs[1].node = "pc-3";
        outputs[1].display = OutputDisplay{"PROJ-L", {1920, 0, 1920, 1080}, true};
        outputs[2].name = "Right";
        outputs[2].node = "pc-3";
        outputs[2].display = OutputDisplay{"PROJ-R", {3840, 0, 1920, 1080}, true};
        leaderModel.setOutputs(outputs);
        auto leader = rig.leader(leaderModel, clock);
        QVERIFY(leader != nullptr);
        ShowNodes nodes;
        QTimer leading;
        connect(&leading, &QTimer::timeout, this, [&] {
            leader->update(std::chrono::steady_clock::now());
            nodes.update(leader->nodes());
        });
        leading.start(5);

        PrismetaApp app;
        app.placer().setShowMode(true);
        app.placer().setStandIn(true);
        ClusterFollow follow(app.model(), app.outputWindows(), app.showCues().runner(),
                             app.missingMedia());
        ClusterLaunch launch;
        launch.broker = "127.0.0.1:" + std::to_string(broker.port());
        launch.topic = testing::ClusterRig::topic;
        QVERIFY(follow.start(launch, "pc-3"));

        // Each output full screen on a screen of this machine, in the
        // project's order from the primary, with one line each.
        QTRY_COMPARE_WITH_TIMEOUT(app.outputWindows().count(), 2, 10000);
        OutputWindow* left = app.outputWindows().window(outputs[1].id);
        OutputWindow* right = app.outputWindows().window(outputs[2].id);
        QVERIFY(left && right);
        QTRY_VERIFY(left->isFullScreen() && right->isFullScreen());
        QCOMPARE(left->geometry(), deskGeometry);
        QCOMPARE(right->geometry(), projGeometry);
        const std::string line = R"(Prismeta: show: this machine has no screen "PROJ-L"; )"
                                 R"(output "Left" is full screen on "DESK" instead)";
        QCOMPARE(std::count(log.begin(), log.end(), line), 1);

        // Its status names its screens; the leader's card lists the node and
        // those screens for its outputs.
        QTRY_VERIFY_WITH_TIMEOUT(nodes.find("pc-3") && nodes.find("pc-3")->screens.size() == 2,
                                 10000);
        QCOMPARE(nodes.find("pc-3")->screens[1].geometry, toScreenRect(projGeometry));
        OutputCard card(leaderModel, leaderModel.outputs()[1]);
        card.setShowNodes(&nodes);
        QCOMPARE(card.nodeField()->currentText(), QStringLiteral("pc-3"));
        QVERIFY(card.nodeField()->findData(QStringLiteral("pc-3")) > 0);
        DisplayPicker* picker = card.displayPicker();
        QCOMPARE(picker->itemText(picker->currentIndex()), QStringLiteral("PROJ-L (not on pc-3)"));

        // PROJ chosen for Left: it goes there, and Right fills the desk.
        picker->setCurrentIndex(picker->itemOfScreen(QStringLiteral("PROJ")));
        QCOMPARE(leaderModel.outputs()[1].display,
                 std::optional(OutputDisplay{"PROJ", toScreenRect(projGeometry), true}));
        QTRY_COMPARE_WITH_TIMEOUT(left->geometry(), projGeometry, 10000);
        QTRY_COMPARE(right->geometry(), deskGeometry);
        QVERIFY(left->isFullScreen() && right->isFullScreen());
    }
};

PRISMETA_TWO_SCREENS_MAIN(FollowerScreensTest)
#include "FollowerScreensTest.moc"
