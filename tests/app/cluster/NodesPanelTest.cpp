// The leader's Nodes panel: one row per machine, its warnings in words and
// in the warning colour.
#include "app/cluster/NodesPanel.h"
#include "cluster/NodeDirectory.h"

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
        QCOMPARE(list->topLevelItem(2)->text(4), QStringLiteral("offline"));

        // A node going offline is shown at the next change.
        QVERIFY(!nodes.receive("pc-1", offlineNodeStatus()));
        panel.show(nodes);
        QCOMPARE(list->topLevelItem(0)->text(4), QStringLiteral("offline"));
    }
};

QTEST_MAIN(NodesPanelTest)
#include "NodesPanelTest.moc"
