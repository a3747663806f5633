// Hostile project files opened in the application as a user would (Open…),
// on Qt's offscreen platform: each either opens, and the main window, the
// editor and the inspector show it (every surface selected in turn) without
// crashing or stalling the interface thread, or is refused with the load line
// and one report while the project on screen stays as it was. What holds the
// interface thread is text: Qt lays out a widget's whole text on every paint,
// so every text shown is bounded (the time it takes is measured by
// bench_app_open, never asserted here, since it depends on the machine's load).
#include "../ScriptedDialogs.h"
#include "HostileProjects.h"

#include "app/AppCommands.h"
#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "core/Log.h"
#include "core/ProjectModel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
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
    // The longest text a widget may be given to lay out: a row shows at most
    // 1 KB of a name, and a line edit holds at most 32,767 characters.
    static constexpr qsizetype maxShownText = 32767;

    // The longest text any widget of any window shows now, with its owner.
    static std::pair<qsizetype, QString> longestShownText() {
        std::pair<qsizetype, QString> longest{0, {}};
        const auto consider = [&](const QString& text, const QObject* owner) {
            if (text.size() > longest.first) {
                longest = {text.size(), owner->metaObject()->className()};
            }
        };
        for (QWidget* window : QApplication::topLevelWidgets()) {
            consider(window->windowTitle(), window);
            for (const QWidget* widget : window->findChildren<QWidget*>()) {
                if (const auto* label = qobject_cast<const QLabel*>(widget)) {
                    consider(label->text(), label);
                } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
                    consider(button->text(), button);
                } else if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
                    consider(field->text(), field);
                } else if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
                    for (int row = 0; row < list->count(); ++row) {
                        consider(list->item(row)->text(), list);
                    }
                }
                consider(widget->toolTip(), widget);
            }
        }
        return longest;
    }

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

            scripted->openAnswers.push_back(path);
            app.commands().open()->trigger();
            show(app);
            if (model.documentURL() == path) {
                ++opened;
                // A file it names that is not there is said, as in a show;
                // nothing else is.
                std::erase_if(logged, [](const std::string& line) {
                    return line.starts_with("Prismeta: media not found: ");
                });
                QVERIFY2(logged.empty(),
                         (project.name + (logged.empty() ? "" : ": " + logged.front())).c_str());
                const std::size_t count = model.surfaces().size();
                for (std::size_t i = 0; i < count && i < 8; ++i) {
                    model.setSelectedID(model.surfaces()[i].id);
                    show(app);
                    const auto [length, owner] = longestShownText();
                    QVERIFY2(length <= maxShownText, (project.name + ": " + std::to_string(length) +
                                                      " characters in a " + owner.toStdString())
                                                         .c_str());
                }
            } else {
                ++refused;
                QVERIFY2(!project.mustLoad, project.name.c_str());
                QCOMPARE(logged.size(), std::size_t{1});
                QVERIFY(logged[0].rfind("Prismeta: failed to load project: ", 0) == 0);
                QCOMPARE(scripted->reports.size(), std::size_t{1});
                QVERIFY2(model.surfaces().sharesStorageWith(before), project.name.c_str());
            }

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
