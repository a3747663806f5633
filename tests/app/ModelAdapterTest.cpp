#include "app/ModelAdapter.h"
#include "app/FrameClock.h"
#include "core/ProjectModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <memory>

using namespace prismeta;

class ModelAdapterTest : public QObject {
    Q_OBJECT

private slots:
    void coalescesOneOperationIntoOneRefresh() {
        ProjectModel model;
        ModelAdapter adapter(model);
        int calls = 0;
        ModelChanges seen;
        std::size_t surfacesSeen = 0;
        bool undoSeen = false;
        connect(&adapter, &ModelAdapter::changed, this, [&](const ModelChanges& changes) {
            ++calls;
            seen = changes;
            surfacesSeen = model.surfaces().size();
            undoSeen = !model.undoStack().empty();
        });

        // Announces the surfaces, then the selection; nothing is delivered
        // until the event loop turns.
        model.addSurface();
        model.addSurface();
        QCOMPARE(calls, 0);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        QVERIFY(seen.has(ModelField::surfaces));
        QVERIFY(seen.has(ModelField::selectedID));
        QVERIFY(!seen.has(ModelField::outputs));
        QCOMPARE(surfacesSeen, std::size_t{2});
        QVERIFY(undoSeen);

        // Nothing changed: nothing delivered.
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
    }

    void viewsNeverSeeALoadHalfDone() {
        // A project with history, then a load: the refresh sees the loaded
        // surfaces together with the emptied stacks and the new location.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const std::filesystem::path file =
            std::filesystem::path(folder.path().toStdString()) / "adapter-load.prismeta.json";
        {
            ProjectModel source;
            source.addSurface();
            source.addSurface();
            source.addSurface();
            QVERIFY(source.save(file).ok);
        }
        ProjectModel model;
        model.addSurface();
        ModelAdapter adapter(model);
        QCoreApplication::processEvents();

        bool consistent = false;
        connect(&adapter, &ModelAdapter::changed, this, [&](const ModelChanges& changes) {
            consistent = changes.has(ModelField::surfaces) &&
                         changes.has(ModelField::documentURL) && model.surfaces().size() == 3 &&
                         model.undoStack().empty() && model.documentURL() == file;
        });
        QVERIFY(model.load(file).ok);
        QCoreApplication::processEvents();
        QVERIFY(consistent);
    }

    void aSlotThatEditsTheModelIsRefreshedOnTheNextTurn() {
        ProjectModel model;
        ModelAdapter adapter(model);
        int calls = 0;
        connect(&adapter, &ModelAdapter::changed, this, [&] {
            if (++calls == 1) {
                model.setSnapEnabled(true);
            }
        });
        model.addSurface();
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 2);
    }

    void anAdapterGoneBeforeItsRefreshIsHarmless() {
        ProjectModel model;
        auto adapter = std::make_unique<ModelAdapter>(model);
        model.addSurface();
        adapter.reset();
        QCoreApplication::processEvents();
        model.addSurface(); // no subscriber left
        QCOMPARE(model.surfaces().size(), std::size_t{2});
    }

    void frameClockTicksOnlyForRequestsAndStopsWithoutThem() {
        std::shared_ptr<FrameClock> clock = FrameClock::shared();
        QCOMPARE(FrameClock::shared().get(), clock.get());
        QVERIFY(!clock->isRunning());

        QWidget first;
        QWidget second;
        QWidget stranger;
        clock->attach(&first);
        clock->attach(&second);
        clock->attach(&first); // once only
        QCOMPARE(clock->viewCount(), 2);
        QVERIFY2(!clock->isRunning(), "attached views that ask for nothing cost no ticks");
        clock->requestFrame(&stranger);
        QVERIFY2(!clock->isRunning(), "only attached views are drawn by the clock");

        // One request, one tick, then quiet again.
        long long before = clock->tickCount();
        clock->requestFrame(&first);
        clock->requestFrame(&first);
        QVERIFY(clock->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!clock->isRunning(), 5000);
        QCOMPARE(clock->tickCount() - before, 1LL);

        // A view that asks again at every tick (a video) is served at 60 Hz,
        // not as fast as the loop spins: well under 60 ticks in half a second
        // (a loaded machine only ticks less).
        const QMetaObject::Connection animate =
            connect(clock.get(), &FrameClock::ticked, this, [&] { clock->requestFrame(&second); });
        clock->requestFrame(&second);
        QTRY_VERIFY_WITH_TIMEOUT(clock->tickCount() - before >= 4, 5000);
        before = clock->tickCount();
        QTest::qWait(500);
        QVERIFY2(clock->tickCount() - before <= 45,
                 qPrintable(QString::number(clock->tickCount() - before)));
        QVERIFY(clock->isRunning());
        disconnect(animate);
        QTRY_VERIFY_WITH_TIMEOUT(!clock->isRunning(), 2000);

        // Detaching drops a waiting request.
        clock->requestFrame(&first);
        clock->detach(&first);
        QVERIFY(!clock->isRunning());
        clock->detach(&second);
        QCOMPARE(clock->viewCount(), 0);
    }

    void frameClockForgetsDeletedViews() {
        std::shared_ptr<FrameClock> clock = FrameClock::shared();
        auto view = std::make_unique<QWidget>();
        clock->attach(view.get());
        clock->requestFrame(view.get());
        view.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!clock->isRunning(), 2000);
        auto other = std::make_unique<QWidget>();
        clock->attach(other.get());
        QCOMPARE(clock->viewCount(), 1);
        clock->detach(other.get());
    }
};

QTEST_MAIN(ModelAdapterTest)
#include "ModelAdapterTest.moc"
