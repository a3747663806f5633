// The Cues panel: rows follow the cue list, the live cue is marked after a
// GO and after its undo and redo, edits in place and drags of rows are undo
// steps, text that is not a value is refused, marked and said why,
// Record Cue without a live cue goes after the last,
// the bars show the fade and the next follow or scheduled cue, and the
// blackout fade is a preference the show uses.
#include "app/cues/CuesDock.h"
#include "app/ModelAdapter.h"
#include "app/cues/ShowCues.h"
#include "app/cues/ShowPreferences.h"
#include "app/remote/PreferencesDialog.h"
#include "app/remote/RemoteControl.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace prismeta;

namespace {

Cue named(const char* name, double fade = 0.0) {
    Cue cue;
    cue.name = name;
    cue.fade = fade;
    return cue;
}

std::vector<std::string> names(const ProjectModel& model) {
    std::vector<std::string> out;
    for (const Cue& cue : model.cues()) {
        out.push_back(cue.name);
    }
    return out;
}

// Drops row `from` of the table at pos of its viewport, as the end of a drag
// inside the table does.
bool dropRow(QTableWidget* table, int from, QPoint pos) {
    QModelIndexList cells;
    for (int column = 0; column < table->columnCount(); ++column) {
        cells << table->model()->index(from, column);
    }
    const std::unique_ptr<QMimeData> data(table->model()->mimeData(cells));
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &enter);
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(table->viewport(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

bool isLive(QTableWidget* table, int row) {
    return table->item(row, 0)->text().startsWith(QStringLiteral("\u25B6"));
}

} // namespace

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
        model.undo();
        QCoreApplication::processEvents();
        QVERIFY(!model.cues()[1].follow);
        QCOMPARE(table->item(1, 3)->text(), QString());

        // Runs of days read and show as ranges; one over the weekend too.
        table->item(1, 4)->setText(QStringLiteral("09:30 mon-fri,sun"));
        QCOMPARE(int(model.cues()[1].schedule->days), 0b1011111);
        QCoreApplication::processEvents();
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("09:30 mon-fri,sun"));
        table->item(1, 4)->setText(QStringLiteral("09:30 fri-mon"));
        QCOMPARE(int(model.cues()[1].schedule->days), 0b1110001);
        QCoreApplication::processEvents();
        QCOMPARE(table->item(1, 4)->text(), QStringLiteral("09:30 mon,fri-sun"));
        table->setCurrentCell(1, 3);
        table->item(1, 3)->setText(QStringLiteral("12.5"));
        QCoreApplication::processEvents();
        QCOMPARE(table->currentColumn(), 3); // the keys go on from the cell edited
    }

    // An entry the cue cannot take stays in its cell, marked, and what is
    // wrong shows under the list; the cue keeps its value and the next usable
    // entry clears it.
    void wrongEntriesAreMarkedAndSayWhatIsWrong() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        CuesDock dock(adapter, show);
        QTableWidget* table = dock.table();
        Cue cue = named("Evening", 2.0);
        cue.schedule = CueSchedule{18 * 3600, CueSchedule::everyDay};
        model.setCues(std::vector<Cue>{cue});
        QCoreApplication::processEvents();
        const std::size_t steps = model.undoStack().size();

        auto* problem = dock.findChild<QLabel*>(QStringLiteral("cueEntryProblem"));
        QVERIFY(problem && problem->text().isEmpty());
        const auto enter = [table, problem](int column, const char* text) {
            table->item(0, column)->setText(QString::fromUtf8(text));
            QCoreApplication::processEvents();
            QTableWidgetItem* item = table->item(0, column);
            QCOMPARE(item->text(), QString::fromUtf8(text));
            QVERIFY(!item->icon().isNull()); // marked, also where the row is selected
            QVERIFY(problem->text().endsWith(item->toolTip()));
        };
        enter(4, "25:99");
        QCOMPARE(problem->text(),
                 QStringLiteral("Cue 1, schedule: 25:99 is not a time of day: the hour must be 00 "
                                "to 23 and the minute must be 00 to 59"));
        enter(4, "18:30 mon-");
        QVERIFY(table->item(0, 4)->toolTip().startsWith(QStringLiteral("mon- is not a day")));
        enter(4, "6pm");
        QVERIFY(table->item(0, 4)->toolTip().startsWith(QStringLiteral("6pm is not a time")));
        enter(3, "soon");
        QVERIFY(table->item(0, 3)->toolTip().startsWith(QStringLiteral("soon is not a follow")));
        enter(2, "fast");
        QVERIFY(table->item(0, 2)->toolTip().startsWith(QStringLiteral("fast is not a fade")));
        QCOMPARE(model.cues()[0].schedule->secondOfDay, 18 * 3600);
        QCOMPARE(model.cues()[0].fade, 2.0);
        QCOMPARE(model.undoStack().size(), steps);

        table->item(0, 4)->setText(QStringLiteral("09:30 sat,sun"));
        QCoreApplication::processEvents();
        QCOMPARE(model.cues()[0].schedule->secondOfDay, 9 * 3600 + 30 * 60);
        QCOMPARE(table->item(0, 4)->toolTip(), QString());
        QVERIFY(table->item(0, 4)->icon().isNull());
        QVERIFY(problem->text().isEmpty());
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("2")); // the cue's again
    }

    // With no live cue (none gone to yet), Record Cue adds the cue after the
    // last one, named after its place.
    void recordWithoutALiveCueGoesAfterTheLast() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        QMainWindow editor;
        show.buildMenu(editor.menuBar());
        model.setCues(std::vector<Cue>{named("One"), named("Two")});
        QAction* record = nullptr;
        for (QAction* action : editor.menuBar()->actions().front()->menu()->actions()) {
            if (action->text() == QStringLiteral("Record Cue")) {
                record = action;
            }
        }
        QVERIFY(record);
        record->trigger();
        QCOMPARE(names(model), (std::vector<std::string>{"One", "Two", "Cue 3"}));
        QCOMPARE(show.runner().liveIndex(), std::optional<std::size_t>(2));
        show.runner().goTo(0);
        record->trigger(); // after the live cue, as before
        QCOMPARE(names(model), (std::vector<std::string>{"One", "Cue 4", "Two", "Cue 3"}));
    }

    void draggingARowMovesItsCueAsOneUndoStep() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        CuesDock dock(adapter, show);
        dock.resize(600, 400);
        dock.show();
        QTableWidget* table = dock.table();
        model.setCues(std::vector<Cue>{named("A"), named("B"), named("C"), named("D")});
        QCoreApplication::processEvents();
        show.runner().go(); // A is live, B next

        // A, dropped on the lower half of C, goes after C.
        table->selectRow(0);
        const QRect c = table->visualRect(table->model()->index(2, 1));
        QVERIFY(dropRow(table, 0, c.center() + QPoint(0, c.height() / 4)));
        QCOMPARE(names(model), (std::vector<std::string>{"B", "C", "A", "D"}));
        QCOMPARE(model.undoName(), std::string("Move Cue"));
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("A"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("B")); // no cell cleared
        QCOMPARE(table->currentRow(), 2);                         // the selection goes with its cue
        QVERIFY(isLive(table, 2)); // the live cue is marked where it went
        QCOMPARE(show.runner().nextIndex(), std::optional<std::size_t>(3));

        // D, dropped on the upper half of the first row, goes first.
        const QRect b = table->visualRect(table->model()->index(0, 1));
        QVERIFY(dropRow(table, 3, b.center() - QPoint(0, b.height() / 4)));
        QCOMPARE(names(model), (std::vector<std::string>{"D", "B", "C", "A"}));
        // Onto itself: no step.
        const std::size_t steps = model.undoStack().size();
        QVERIFY(dropRow(table, 1, table->visualRect(table->model()->index(1, 1)).center()));
        QCOMPARE(model.undoStack().size(), steps);

        model.undo();
        QCoreApplication::processEvents();
        QCOMPARE(names(model), (std::vector<std::string>{"B", "C", "A", "D"}));
        QCOMPARE(table->item(3, 1)->text(), QStringLiteral("D"));
    }

    void controlsSitBesideTheListUnderTheEditorAndBelowItAtTheSide() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        QMainWindow window;
        window.setCentralWidget(new QWidget);
        auto* dock = new CuesDock(adapter, show, &window);
        window.addDockWidget(Qt::BottomDockWidgetArea, dock);
        Cue weekdays = named("Weekday evenings", 2.5);
        weekdays.schedule = CueSchedule{18 * 3600 + 30 * 60, 0b0011111};
        weekdays.follow = CueFollow{CueFollow::Kind::seconds, 86400.0};
        model.setCues(std::vector<Cue>{named("Preshow"), weekdays});
        window.resize(1280, 800);
        window.show();
        QCoreApplication::processEvents();
        const auto controlsBesideTable = [dock] {
            return dock->fadeBar()->mapTo(dock, QPoint()).x() >= dock->table()->geometry().right();
        };
        QVERIFY(controlsBesideTable());
        QVERIFY(dock->table()->horizontalScrollBar()->maximum() == 0); // no scrolling sideways
        window.addDockWidget(Qt::RightDockWidgetArea, dock);
        QCoreApplication::processEvents();
        QVERIFY(!controlsBesideTable());
        QVERIFY(dock->fadeBar()->mapTo(dock, QPoint()).y() >= dock->table()->geometry().bottom());
    }

    void undoOfAGoMarksTheCueLiveBefore() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        CuesDock dock(adapter, show);
        QTableWidget* table = dock.table();
        model.setCues(std::vector<Cue>{named("One"), named("Two"), named("Three")});
        QCoreApplication::processEvents();
        show.runner().go();
        show.runner().go();
        model.undo(); // Go 'Two'
        QCoreApplication::processEvents();
        QVERIFY(isLive(table, 0));
        QVERIFY(table->item(1, 0)->text().startsWith(QStringLiteral("\u203A"))); // next again
        model.redo();
        QCoreApplication::processEvents();
        QVERIFY(isLive(table, 1));
    }

    void barsShowTheFadeAndTheNextFollowOrSchedule() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        CuesDock dock(adapter, show);
        Cue first = named("Intro");
        first.follow = CueFollow{CueFollow::Kind::seconds, 3600.0};
        Cue second = named("Long", 3600.0);
        Cue third = named("Evening");
        third.schedule = CueSchedule{18 * 3600 + 30 * 60, CueSchedule::everyDay};
        model.setCues(std::vector<Cue>{first, second, third});
        QCoreApplication::processEvents();

        dock.updateProgress();
        QCOMPARE(dock.fadeBar()->format(), QStringLiteral("No fade running"));
        QVERIFY2(dock.nextBar()->format().startsWith(QStringLiteral("3 'Evening' at 18:30 in ")),
                 qPrintable(dock.nextBar()->format()));

        show.runner().go();
        dock.updateProgress();
        QCOMPARE(dock.fadeBar()->format(), QStringLiteral("No fade running")); // a cut
        QVERIFY2(dock.nextBar()->format().startsWith(QStringLiteral("Follow to 2 'Long' in ")) ||
                     dock.nextBar()->format().startsWith(QStringLiteral("3 'Evening'")),
                 qPrintable(dock.nextBar()->format()));
        QVERIFY(dock.nextBar()->value() <= 1);

        show.runner().go();
        dock.updateProgress();
        QVERIFY2(dock.fadeBar()->format().startsWith(QStringLiteral("Fade: 59:")) ||
                     dock.fadeBar()->format().startsWith(QStringLiteral("Fade: 1:00:00")),
                 qPrintable(dock.fadeBar()->format()));
        QVERIFY(dock.fadeBar()->value() <= 1);
        QVERIFY2(dock.nextBar()->format().startsWith(QStringLiteral("3 'Evening' at 18:30 in ")),
                 qPrintable(dock.nextBar()->format()));
        model.setCues(std::vector<Cue>{named("Alone")});
        dock.updateProgress();
        QCOMPARE(dock.nextBar()->format(), QStringLiteral("No follow or schedule"));
    }

    void showKeysWorkInAWindowWhileTheEditorIsHidden() {
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        QMainWindow editor; // never shown, as in a show
        show.buildMenu(editor.menuBar());
        QWidget output;
        show.addShortcutsTo(output);
        output.show();
        output.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&output));
        model.setCues(std::vector<Cue>{named("One"), named("Two")});
        QTest::keyClick(&output, Qt::Key_Space);
        QCOMPARE(show.runner().liveIndex(), std::optional<std::size_t>(0));
        QTest::keyClick(&output, Qt::Key_B);
        QVERIFY(show.runner().state().blackout.on);
    }

    void theBlackoutFadeIsAPreference() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        QCOMPARE(readBlackoutFade(settings), 1.0);
        settings.setValue(QStringLiteral("show/blackoutFade"), QStringLiteral("soon"));
        QCOMPARE(readBlackoutFade(settings), 1.0);
        settings.setValue(QStringLiteral("show/blackoutFade"), 1e9);
        QCOMPARE(readBlackoutFade(settings), maxBlackoutFade);
        writeBlackoutFade(settings, 1.0);

        ProjectModel model;
        ModelAdapter adapter(model);
        RemoteControl remote(adapter);
        {
            PreferencesDialog dialog(remote, settings);
            QCOMPARE(dialog.blackoutFadeBox()->value(), 1.0);
            dialog.blackoutFadeBox()->setValue(2.5);
            dialog.reject();
        }
        QCOMPARE(readBlackoutFade(settings), 1.0); // Cancel keeps it
        {
            PreferencesDialog dialog(remote, settings);
            dialog.blackoutFadeBox()->setValue(2.5);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(readBlackoutFade(settings), 2.5);
        QVERIFY(!remote.isRunning()); // remote control untouched
    }
};

QTEST_MAIN(CuesDockTest)
#include "CuesDockTest.moc"
