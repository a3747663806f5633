// The application as a screen reader meets it: run in a D-Bus session of its
// own with the accessibility bus (at-spi2-core) under Xvfb, the test reads the
// tree this process exposes over AT-SPI, as any assistive technology does.
#include "AtSpiProbe.h"
#include "ScriptedDialogs.h"

#include "app/MainWindow.h"
#include "app/ModelAdapter.h"
#include "app/PrismetaApp.h"
#include "app/document/DocumentController.h"
#include "app/document/DocumentDialogs.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/show/OutputWindow.h"
#include "app/show/OutputWindowRegistry.h"
#include "core/ProjectModel.h"

#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

using namespace prismeta;
namespace fs = std::filesystem;

namespace {

// Roles of the things a user acts on; each must say what it is for.
bool isControl(const QString& role) {
    static const QStringList controls = {
        QStringLiteral("push button"),   QStringLiteral("toggle button"),
        QStringLiteral("check box"),     QStringLiteral("radio button"),
        QStringLiteral("text"),          QStringLiteral("entry"),
        QStringLiteral("password text"), QStringLiteral("slider"),
        QStringLiteral("spin button"),   QStringLiteral("combo box"),
        QStringLiteral("list"),          QStringLiteral("tree"),
        QStringLiteral("tree table"),    QStringLiteral("table"),
        QStringLiteral("menu item"),     QStringLiteral("button menu"),
        QStringLiteral("page tab"),      QStringLiteral("scroll bar")};
    return controls.contains(role);
}

Surface quad(const char* name, MediaKind kind) {
    Surface surface;
    surface.name = name;
    surface.mediaKind = kind;
    return surface;
}

} // namespace

class AccessibilityBusTest : public QObject {
    Q_OBJECT

private:
    AtSpiProbe probe_;

    // Every visible object under ref whose role is a control and whose name
    // is empty, as "role at path-of-names". Hidden parts are read too, as a
    // screen reader may, but not held against the window.
    void unnamedControls(const AtSpiRef& ref, const QString& where, QStringList& found,
                         bool shown = true, int depth = 0) {
        if (depth > 40 || ref.path.endsWith(QLatin1String("/null"))) {
            return;
        }
        const QString role = probe_.roleName(ref);
        const QString name = probe_.name(ref);
        shown = shown && (probe_.states(ref) & AtSpiProbe::stateVisible) != 0;
        const QString here =
            where + QStringLiteral(" > ") + role + QStringLiteral(" \"") + name + QLatin1Char('"');
        if (shown && isControl(role) && name.trimmed().isEmpty()) {
            found << here;
        }
        for (const AtSpiRef& child : probe_.children(ref)) {
            unnamedControls(child, here, found, shown, depth + 1);
        }
    }

    // Whether an object under ref (itself included) has this role and name.
    bool holds(const AtSpiRef& ref, const QString& role, const QString& name, int depth = 0) {
        if (depth > 40 || ref.path.endsWith(QLatin1String("/null"))) {
            return false;
        }
        if (probe_.roleName(ref) == role && probe_.name(ref) == name) {
            return true;
        }
        const QList<AtSpiRef> children = probe_.children(ref);
        return std::any_of(children.begin(), children.end(), [&](const AtSpiRef& child) {
            return holds(child, role, name, depth + 1);
        });
    }

    // What is wrong with the windows on the bus now: a visible window whose
    // name is not the title it shows, and every unnamed control in them.
    QStringList windowProblems() {
        QStringList problems;
        const std::optional<AtSpiRef> root = probe_.application();
        if (!root) {
            return {QStringLiteral("the application is not on the bus")};
        }
        QStringList titles;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                titles << window->windowTitle().replace(QStringLiteral("[*]"), QString());
            }
        }
        QStringList names;
        for (const AtSpiRef& window : probe_.children(*root)) {
            if ((probe_.states(window) & AtSpiProbe::stateVisible) == 0) {
                continue;
            }
            const QString name = probe_.name(window);
            names << name;
            unnamedControls(window, name, problems);
        }
        titles.sort();
        names.sort();
        if (names != titles) {
            problems << QStringLiteral("windows named [%1], titled [%2]")
                            .arg(names.join(QStringLiteral(", ")),
                                 titles.join(QStringLiteral(", ")));
        }
        return problems;
    }

private slots:
    void initTestCase() {
        if (!probe_.connect()) {
            QSKIP(qPrintable(probe_.error()));
        }
    }

    void loadingProjectsOverEachOtherWarnsNothing() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const auto write = [&](const char* name, int count) {
            const fs::path file = fs::path(folder.path().toStdString()) / name;
            ProjectModel source;
            for (int i = 0; i < count; ++i) {
                source.addSurface();
            }
            return source.save(file).ok ? file : fs::path();
        };
        const fs::path four = write("Four.prismeta.json", 4);
        const fs::path two = write("Two.prismeta.json", 2);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QAccessible|accessible")));

        auto dialogs = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs* scripted = dialogs.get();
        PrismetaApp app(std::move(dialogs));
        app.show();
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        QVERIFY(QAccessible::isActive());
        AtSpiEventLog log;
        QVERIFY(probe_.listenToEverything(log));
        QTRY_VERIFY_WITH_TIMEOUT(probe_.application().has_value(), 10000);
        QTest::qWait(200); // the bridge hears of the listeners
        QVERIFY(app.openAtLaunch(four));
        app.adapter().flush();
        QListWidget* rows = app.mainWindow().inspectorPane()->findChild<QListWidget*>();
        QVERIFY(rows);
        // The list in use, its last row chosen, as a screen reader user
        // leaves it.
        rows->setFocus(Qt::OtherFocusReason);
        rows->setCurrentRow(3);
        QApplication::processEvents();
        // After each step, what a screen reader does with the events it
        // heard: looks at each object and around it in its parent.
        const auto readAround = [&] {
            QTest::qWait(50);
            const QList<AtSpiEventLog::Event> events = std::exchange(log.events, {});
            for (const AtSpiEventLog::Event& event : events) {
                probe_.name(event.source);
                if (const std::optional<AtSpiRef> parent = probe_.parent(event.source)) {
                    const int count = probe_.childCount(*parent);
                    for (int i = 0; i < count && i < 50; ++i) {
                        if (const auto child = probe_.childAt(*parent, i)) {
                            probe_.name(*child);
                        }
                    }
                }
            }
        };
        std::function<void(const AtSpiRef&, int)> walk = [&](const AtSpiRef& ref, int depth) {
            const int count = probe_.childCount(ref);
            for (int i = 0; i < count && depth < 30; ++i) {
                if (const auto child = probe_.childAt(ref, i)) {
                    walk(*child, depth + 1);
                }
            }
        };
        const AtSpiRef root = *probe_.application();
        walk(root, 0);
        readAround();
        for (const fs::path& file : {two, four, two}) {
            scripted->openAnswers.push_back(file);
            app.documents().open();
            app.adapter().flush();
            readAround();
            walk(root, 0);
            rows->setCurrentRow(rows->count() - 1);
            readAround();
            walk(root, 0);
        }
        app.documents().newProject();
        app.adapter().flush();
        QApplication::processEvents();
        QCOMPARE(rows->count(), 0);
    }

    void everyWindowIsNamedByItsTitleAndEveryControlByItsLabel() {
        // Reading every window and dialog as a screen reader does must not
        // trip Qt's accessibility over objects that are not there.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QAccessible|accessible")));
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const fs::path file = fs::path(folder.path().toStdString()) / "Stage.prismeta.json";
        {
            ProjectModel source;
            std::vector<Surface> surfaces = {
                quad("Back Wall", MediaKind::color), quad("Grid", MediaKind::testPattern),
                quad("photo_one", MediaKind::image), quad("Loop", MediaKind::video)};
            surfaces[2].mediaPath = "/nonexistent/photo_one.jpg";
            source.setSurfaces(surfaces);
            source.addOutput(OutputPreset::leftHalf);
            source.addOutput(OutputPreset::rightHalf);
            QVERIFY(source.save(file).ok);
        }
        PrismetaApp app(std::make_unique<ScriptedDialogs>());
        app.show();
        QVERIFY(app.openAtLaunch(file));
        QVERIFY(QTest::qWaitForWindowExposed(&app.mainWindow()));
        OutputWindow* output = app.outputWindows().open(app.model().outputs()[0].id);
        QVERIFY(QTest::qWaitForWindowExposed(output));
        app.adapter().flush();

        QTRY_VERIFY_WITH_TIMEOUT(probe_.application().has_value(), 10000);
        QStringList problems = windowProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        // The output window is a frame named by its output, not a filler;
        // the Display picker is named "Display", whatever it shows.
        const std::optional<AtSpiRef> root = probe_.application();
        QVERIFY(root.has_value());
        const QString outputName = QString::fromStdString(app.model().outputs()[0].name);
        QStringList windows;
        for (const AtSpiRef& window : probe_.children(*root)) {
            windows << probe_.roleName(window) + QStringLiteral(" \"") + probe_.name(window) +
                           QLatin1Char('"');
        }
        QVERIFY2(windows.contains(QStringLiteral("frame \"%1\"").arg(outputName)),
                 qPrintable(windows.join(QStringLiteral(", "))));
        QVERIFY(holds(*root, QStringLiteral("combo box"), QStringLiteral("Display")));

        // Every dialog the application shows, each read while it is open.
        WidgetDocumentDialogs documents;
        documents.setParentWindow(&app.mainWindow());
        WidgetInspectorDialogs media(&app.mainWindow(), app.model());
        const std::vector<std::pair<const char*, std::function<void()>>> dialogs = {
            {"open", [&] { documents.chooseProjectToOpen(); }},
            {"save", [&] { documents.chooseSaveLocation(); }},
            {"unsaved", [&] { documents.askToSaveChanges(QStringLiteral("Stage.prismeta.json")); }},
            {"failure",
             [&] {
                 documents.reportFailure(DocumentDialogs::Failure::open, file,
                                         QStringLiteral("surface 2 (\"Grid\") is broken"));
             }},
            {"image", [&] { media.chooseFile(MediaFileType::image); }},
            {"colour", [&] { media.chooseColor(Qt::red); }},
        };
        for (const auto& [what, show] : dialogs) {
            bool read = false;
            QTimer::singleShot(100, [&, what = what] {
                QWidget* dialog = QApplication::activeModalWidget();
                if (dialog == nullptr) {
                    problems << QStringLiteral("%1: no dialog").arg(QLatin1String(what));
                    return;
                }
                QVERIFY(QTest::qWaitForWindowExposed(dialog));
                for (const QString& problem : windowProblems()) {
                    problems << QLatin1String(what) + QStringLiteral(": ") + problem;
                }
                read = true;
                dialog->close();
            });
            show();
            QVERIFY2(read, what);
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(AccessibilityBusTest)
#include "AccessibilityBusTest.moc"
