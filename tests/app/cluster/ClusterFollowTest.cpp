// A following application and a leader on a real broker: the follower has a
// window for each output of its node while it is, and for no other.
#include "BrokerProcess.h"
#include "ClusterRig.h"

#include "app/PrismetaApp.h"
#include "app/cluster/ClusterFollow.h"
#include "app/cues/ShowCues.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/Log.h"

#include <QTest>
#include <QTimer>

using namespace prismeta;

class ClusterFollowTest : public QObject {
    Q_OBJECT

private slots:
    void windowsFollowTheOutputsOfTheNode() {
        const ScopedLogSink quiet([](std::string_view) {});
        testing::BrokerProcess broker;
        QVERIFY(broker.running());
        testing::ClusterRig rig(broker);
        SystemRealTimeClock clock;
        ProjectModel leaderModel;
        testing::fillShow(leaderModel, 2); // output 1 is on node "left"
        auto leader = rig.leader(leaderModel, clock);
        QVERIFY(leader != nullptr);
        QTimer leading;
        connect(&leading, &QTimer::timeout, this,
                [&] { leader->update(std::chrono::steady_clock::now()); });
        leading.start(5);

        PrismetaApp app;
        ClusterFollow follow(app.model(), app.outputWindows(), app.showCues().runner(),
                             app.missingMedia());
        ClusterLaunch launch;
        launch.broker = "127.0.0.1:" + std::to_string(broker.port());
        launch.topic = testing::ClusterRig::topic;
        QVERIFY(follow.start(launch, "left"));
        const Uuid left = leaderModel.outputs()[1].id;
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(left) != nullptr, 10000);
        // (The window it waited in, if the show took a moment, is closed.)
        QTRY_COMPARE_WITH_TIMEOUT(app.outputWindows().count(), 1, 5000);

        // Given to another machine: closed; a new output for this one: opened.
        std::vector<OutputConfig> outputs = leaderModel.outputs();
        outputs[1].node = "right";
        OutputConfig added = makeOutput(OutputPreset::leftHalf);
        added.node = "left";
        outputs.push_back(added);
        leaderModel.setOutputs(outputs);
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(added.id) != nullptr, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(left) == nullptr, 10000);
        QCOMPARE(app.outputWindows().count(), 1);

        // Deleted on the leader: closed, and black in its place (closing the
        // last window would end the program).
        outputs.pop_back();
        leaderModel.setOutputs(outputs);
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(added.id) == nullptr, 10000);
        QCOMPARE(app.outputWindows().count(), 1);
        QVERIFY(app.outputWindows().window(std::nullopt)->notice().isEmpty());
        // The runner shows the leader's state and goes nowhere itself.
        QVERIFY(app.showCues().runner().adopted());
    }

    // A machine that starts before its broker: black, with one line naming
    // the broker and why it cannot be reached, until the show arrives.
    void waitsVisiblyForAnAbsentBroker() {
        const ScopedLogSink quiet([](std::string_view) {});
        testing::BrokerProcess broker;
        broker.stop();
        PrismetaApp app;
        ClusterFollow follow(app.model(), app.outputWindows(), app.showCues().runner(),
                             app.missingMedia());
        ClusterLaunch launch;
        const std::string where = "127.0.0.1:" + std::to_string(broker.port());
        launch.broker = where;
        launch.topic = testing::ClusterRig::topic;
        QVERIFY(follow.start(launch, "left"));
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(std::nullopt) != nullptr, 5000);
        OutputWindow* waiting = app.outputWindows().window(std::nullopt);
        QTRY_VERIFY_WITH_TIMEOUT(waiting->notice().contains(QStringLiteral("connection refused")),
                                 5000);
        QVERIFY(waiting->notice().contains(QString::fromStdString(where)));
        QVERIFY(waiting->isVisible());

        QVERIFY(broker.restart());
        testing::ClusterRig rig(broker);
        SystemRealTimeClock clock;
        ProjectModel leaderModel;
        testing::fillShow(leaderModel, 2);
        auto leader = rig.leader(leaderModel, clock);
        QTimer leading;
        connect(&leading, &QTimer::timeout, this,
                [&] { leader->update(std::chrono::steady_clock::now()); });
        leading.start(5);
        const Uuid left = leaderModel.outputs()[1].id;
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(left) != nullptr, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app.outputWindows().window(std::nullopt) == nullptr, 5000);
        QVERIFY(app.outputWindows().window(left)->notice().isEmpty());
    }
};

QTEST_MAIN(ClusterFollowTest)
#include "ClusterFollowTest.moc"
