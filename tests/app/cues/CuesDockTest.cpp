// The Cues panel: rows follow the cue list, the live cue is marked after a
// GO, edits in place are undo steps, and text that is not a value is
// refused (the row shows the cue again).
#include "app/cues/CuesDock.h"
#include "app/ModelAdapter.h"
#include "app/cues/ShowCues.h"
#include "core/ProjectModel.h"

#include <QTableWidget>
#include <QTest>

using namespace prismeta;

class CuesDockTest : public QObject {
    Q_OBJECT

private slots:
    void rowsEditsAndTheLiveCue() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        CuesDock dock(adapter, show);
        QTableWidget* table = dock.table();
        QCOMPARE(table->rowCount(), 0);

        Cue first;
        first.name = "Preshow";
        Cue second;
        second.name = "Opening";
        second.fade = 2.5;
        second.schedule = CueSchedule{18 * 3600, 0b0010001};
        model.setCues(std::vector<Cue>{first, second});
        QCoreApplication::processEvents();
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("2.5"));
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("18:00 mon,fri"));

        show.runner().go();
        QVERIFY(table->item(0, 0)->text().startsWith(QStringLiteral("\u25B6")));
        QVERIFY(table->item(0, 1)->font().bold());
        QVERIFY(table->item(1, 0)->text().startsWith(QStringLiteral("\u203A")));

        table->item(1, 1)->setText(QStringLiteral("Opening Night"));
        QCOMPARE(model.cues()[1].name, std::string("Opening Night"));
        QCOMPARE(model.undoName(), std::string("Rename Cue"));
        QCoreApplication::processEvents();
        table->item(1, 3)->setText(QStringLiteral("end"));
        QVERIFY(model.cues()[1].follow &&
                model.cues()[1].follow->kind == CueFollow::Kind::videoEnd);
        QCoreApplication::processEvents();
        table->item(1, 4)->setText(QStringLiteral("25:00"));
        QCOMPARE(model.cues()[1].schedule->secondOfDay, 18 * 3600);
        QCoreApplication::processEvents();
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("18:00 mon,fri"));
        model.undo();
        QCoreApplication::processEvents();
        QVERIFY(!model.cues()[1].follow);
        QCOMPARE(table->item(1, 3)->text(), QString());
    }
};

QTEST_MAIN(CuesDockTest)
#include "CuesDockTest.moc"
