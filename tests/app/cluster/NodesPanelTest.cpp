// The leader's Nodes panel: one row per machine, its warnings in words and
// in the warning colour, toggled from the Window menu; and the cluster's
// preferences.
#include "app/cluster/NodesPanel.h"
#include "app/cluster/ClusterPreferences.h"
#include "cluster/BrokerConnection.h"
#include "cluster/NodeDirectory.h"
#include "core/Log.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace prismeta;

class NodesPanelTest : public QObject {
    Q_OBJECT

private slots:
    void rowsAndWarnings() {
        NodeDirectory nodes;
        NodeStatus fine;
        fine.outputs = {"Left", "Right"};
        fine.framesPerSecond = 60;
        fine.clockOffsetMillis = 0.25;
        QVERIFY(!nodes.receive("pc-1", writeNodeStatus(fine)));
        NodeStatus late = fine;
        late.clockOffsetMillis = 3.5;
        late.droppedFrames = 4;
        QVERIFY(!nodes.receive("pc-2", writeNodeStatus(late)));
        QVERIFY(!nodes.receive("pc-3", offlineNodeStatus()));

        NodesPanel panel;
        panel.show(nodes);
        QTreeWidget* list = panel.list();
        QCOMPARE(list->topLevelItemCount(), 3);
        const QTreeWidgetItem* first = list->topLevelItem(0);
        QCOMPARE(first->text(0), QStringLiteral("pc-1"));
        QCOMPARE(first->text(1), QStringLiteral("Left, Right"));
        QCOMPARE(first->text(3), QStringLiteral("0.25 ms"));
        QVERIFY(first->text(4).isEmpty());
        const QTreeWidgetItem* second = list->topLevelItem(1);
        QCOMPARE(second->text(4), QStringLiteral("drops pictures (4), clock 3.5 ms off"));
        QVERIFY(second->foreground(0).color() != first->foreground(0).color());
        QCOMPARE(second->toolTip(0), second->text(4)); // for a panel too narrow for it
        QCOMPARE(list->topLevelItem(2)->text(4), QStringLiteral("offline"));

        // A node going offline is shown at the next change.
        QVERIFY(!nodes.receive("pc-1", offlineNodeStatus()));
        panel.show(nodes);
        QCOMPARE(list->topLevelItem(0)->text(4), QStringLiteral("offline"));
    }

    void brokerStateAndUnknownNodes() {
        const ScopedLogSink quiet([](std::string_view) {});
        BrokerConnection broker({"10.10.0.1", 1883}, "", "keeping the show");
        NodesPanel panel;
        const auto event = [](MqttEvent::Kind kind, std::string reason) {
            MqttEvent made;
            made.kind = kind;
            made.reason = std::move(reason);
            return made;
        };
        broker.handle(event(MqttEvent::Kind::connected, {}), 0);
        panel.showBroker(broker);
        QCOMPARE(panel.brokerLine()->text(), QStringLiteral("Broker 10.10.0.1:1883: connected"));
        const QDateTime lost(QDate(2025, 5, 17), QTime(21, 4, 13));
        broker.handle(event(MqttEvent::Kind::disconnected, "the connection was closed"),
                      lost.toMSecsSinceEpoch() * 1000);
        panel.showBroker(broker);
        QCOMPARE(panel.brokerLine()->text(),
                 QStringLiteral("Broker 10.10.0.1:1883: lost since 21:04:13, reconnecting (the "
                                "connection was closed)"));

        // Meanwhile its nodes are unknown: greyed, without figures.
        NodeDirectory nodes;
        NodeStatus fine;
        fine.framesPerSecond = 60;
        fine.clockOffsetMillis = 0.25;
        QVERIFY(!nodes.receive("pc-1", writeNodeStatus(fine)));
        QVERIFY(!nodes.receive("pc-2", offlineNodeStatus()));
        panel.show(nodes);
        const QColor warning = panel.list()->topLevelItem(1)->foreground(0).color();
        nodes.markUnknown();
        panel.show(nodes);
        const QTreeWidgetItem* unknown = panel.list()->topLevelItem(0);
        QCOMPARE(unknown->text(4), QStringLiteral("unknown (no broker)"));
        QVERIFY(unknown->text(2).isEmpty() && unknown->text(3).isEmpty());
        QVERIFY(unknown->foreground(0).color() != warning);
    }

    void windowMenuTogglesThePanel() {
        QMainWindow window;
        QMenu* menu = window.menuBar()->addMenu(QStringLiteral("&Window"));
        NodesPanel* panel = NodesPanel::addDockTo(window);
        window.show();
        auto* dock = qobject_cast<QDockWidget*>(panel->parentWidget());
        QVERIFY(dock != nullptr);
        QCOMPARE(menu->actions().size(), 1);
        QAction* toggle = menu->actions().front();
        QCOMPARE(toggle->text(), QStringLiteral("Nodes"));
        QVERIFY(dock->isVisible());
        toggle->trigger();
        QVERIFY(!dock->isVisible());
        toggle->trigger();
        QVERIFY(dock->isVisible());
    }

    void preferencesGiveCredentialsAndTheLeadTime() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("p.ini")), QSettings::IniFormat);
        Result<ClusterPreferences> none = readClusterPreferences(settings);
        QVERIFY(none && !none->credentials);
        QCOMPARE(none->goAheadMilliseconds, 100);

        settings.setValue(QStringLiteral("cluster/user"), QStringLiteral("show"));
        settings.setValue(QStringLiteral("cluster/password"), QStringLiteral("s3cret words"));
        settings.setValue(QStringLiteral("cluster/goAheadMilliseconds"), 250);
        Result<ClusterPreferences> set = readClusterPreferences(settings);
        QVERIFY(set && set->credentials);
        QCOMPARE(set->credentials->user, std::string("show"));
        QCOMPARE(set->credentials->password, std::string("s3cret words"));
        QVERIFY(!set->credentials->usesTls());
        QCOMPARE(set->goAheadMilliseconds, 250);
        settings.sync();
        QFile::setPermissions(settings.fileName(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QVERIFY(readClusterPreferences(settings)->passwordExposed);
        QFile::setPermissions(settings.fileName(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(!readClusterPreferences(settings)->passwordExposed);

        settings.setValue(QStringLiteral("cluster/goAheadMilliseconds"), 99999);
        settings.setValue(QStringLiteral("cluster/certfile"), QStringLiteral("/etc/node.crt"));
        Result<ClusterPreferences> broken = readClusterPreferences(settings);
        QVERIFY(!broken);
        QVERIFY(broken.error().find("keyfile") != std::string::npos);
        settings.setValue(QStringLiteral("cluster/keyfile"), QStringLiteral("/etc/node.key"));
        settings.setValue(QStringLiteral("cluster/cafile"), QStringLiteral("/etc/ca.crt"));
        Result<ClusterPreferences> tls = readClusterPreferences(settings);
        QVERIFY(tls && tls->credentials->usesTls());
        QCOMPARE(tls->goAheadMilliseconds, 100);
    }
};

QTEST_MAIN(NodesPanelTest)
#include "NodesPanelTest.moc"
