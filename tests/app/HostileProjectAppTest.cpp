// Hostile project files opened in the application as a user would (Open…),
// on Qt's offscreen platform: each either opens, and the main window, the
// editor and the inspector show it (every surface selected in turn) without
// crashing or stalling the interface thread, or is refused with the load line
// and one report while the project on screen stays as it was.
#include "HostileProjects.h"
#include "ScriptedDialogs.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace prismeta;
namespace fs = std::filesystem;

class HostileProjectAppTest : public QObject {
    Q_OBJECT

private:
    // What one file may cost the interface thread, opening and showing it
    // with every surface selected in turn (generous: sanitizer builds are
    // several times slower).
    static constexpr qint64 budgetMs = 20000;

    // Lets the window lay out and paint everything it shows now.
    static void show(PrismetaApp& app) {
        app.adapter().flush();
        QApplication::processEvents();
        (void)app.mainWindow().grab();
    }

private slots:
    void everyFileOpensAndShowsOrIsRefusedWithTheProjectKept() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const fs::path dir = folder.path().toStdString();
        auto dialogs = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs* scripted = dialogs.get();
        PrismetaApp app(std::move(dialogs));
        app.show();
        std::vector<std::string> logged;
        ScopedLogSink sink([&](std::string_view line) { logged.emplace_back(line); });

        // The project on screen before each file: one surface, saved.
        ProjectModel& model = app.model();
        const fs::path current = dir / "current.prismeta.json";
        model.addSurface();
        QVERIFY(model.save(current).ok);

        int opened = 0;
        int refused = 0;
        for (const auto& project : testing::hostileProjects()) {
            const fs::path path = dir / "hostile.prismeta.json";
            std::ofstream(path, std::ios::binary | std::ios::trunc) << project.bytes;
            const SurfaceList before = model.surfaces();
            logged.clear();
            scripted->reports.clear();

            QElapsedTimer timer;
            timer.start();
            scripted->openAnswers.push_back(path);
            app.commands().open()->trigger();
            show(app);
            if (model.documentURL() == path) {
                ++opened;
                QVERIFY2(logged.empty(), project.name.c_str());
                // Lists show names cut to what a row can hold: Qt lays out a
                // row's whole text on every paint.
                for (const QListWidget* list : app.mainWindow().findChildren<QListWidget*>()) {
                    for (int row = 0; row < list->count(); ++row) {
                        QVERIFY2(list->item(row)->text().size() <= 4096, project.name.c_str());
                    }
                }
                const std::size_t count = model.surfaces().size();
                for (std::size_t i = 0; i < count && i < 8; ++i) {
                    model.setSelectedID(model.surfaces()[i].id);
                    show(app);
                }
            } else {
                ++refused;
                QVERIFY2(!project.mustLoad, project.name.c_str());
                QCOMPARE(logged.size(), std::size_t{1});
                QVERIFY(logged[0].rfind("Prismeta: failed to load project: ", 0) == 0);
                QCOMPARE(scripted->reports.size(), std::size_t{1});
                QVERIFY2(model.surfaces().sharesStorageWith(before), project.name.c_str());
            }
            QVERIFY2(timer.elapsed() < budgetMs,
                     (project.name + ": " + std::to_string(timer.elapsed()) + " ms").c_str());

            // Back to the ordinary project for the next file.
            scripted->openAnswers.push_back(current);
            app.commands().open()->trigger();
            QCOMPARE(model.documentURL(), std::optional<fs::path>(current));
            show(app);
        }
        qInfo("%d hostile project files: %d opened and shown, %d refused", opened + refused, opened,
              refused);
    }
};

QTEST_MAIN(HostileProjectAppTest)
#include "HostileProjectAppTest.moc"
