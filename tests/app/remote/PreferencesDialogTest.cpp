// Preferences with every section (remote control, show, lighting desk,
// timecode) on a full-HD screen and on a small one: it opens showing every
// group whole (no label, radio button or help line cut) within the screen,
// and scrolls where the screen is too small for that (the wheel over a
// number box scrolling too, rather than changing the number).
#include "app/remote/PreferencesDialog.h"
#include "app/ModelAdapter.h"
#include "app/cues/ShowCues.h"
#include "app/dmx/DmxInput.h"
#include "app/dmx/DmxPreferencesPane.h"
#include "app/remote/RemoteControl.h"
#include "core/ProjectModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace prismeta;

class PreferencesDialogTest : public QObject {
    Q_OBJECT

private slots:
    void everyGroupShowsWholeOrTheDialogScrolls() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        ProjectModel model;
        ModelAdapter adapter(model);
        ShowCues show(adapter);
        DmxInput input(adapter, show);
        RemoteControl remote(adapter);
        const QList<QScreen*> screens = QGuiApplication::screens();
        QCOMPARE(screens.size(), 2);
        for (QScreen* screen : screens) {
            const bool small = screen->name() == QStringLiteral("SMALL");
            PreferencesDialog dialog(remote, settings);
            auto* dmx = new DmxPreferencesPane(input, settings, &dialog);
            dialog.addSection(dmx, [dmx] { return dmx->apply(); });
            dialog.setScreen(screen);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            const QRect area = screen->availableGeometry();
            QVERIFY2(dialog.width() <= area.width() && dialog.height() <= area.height(),
                     qPrintable(screen->name()));
            QScrollArea* scroll = dialog.scrollArea();
            QCOMPARE(scroll->verticalScrollBar()->isVisible(), small);
            QCOMPARE(scroll->widget()->height() > scroll->viewport()->height(), small);
            // Whole: each line as tall as its text needs at its width.
            for (QWidget* widget : dialog.findChildren<QWidget*>()) {
                if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QAbstractButton*>(widget)) {
                    continue;
                }
                if (!widget->isVisibleTo(&dialog)) {
                    continue;
                }
                const int needed = widget->hasHeightForWidth()
                                       ? widget->heightForWidth(widget->width())
                                       : widget->sizeHint().height();
                const QString name = screen->name() + QStringLiteral(": ") +
                                     QString::fromLatin1(widget->metaObject()->className()) +
                                     QStringLiteral(" \"") +
                                     (qobject_cast<QLabel*>(widget)
                                          ? qobject_cast<QLabel*>(widget)->text()
                                          : qobject_cast<QAbstractButton*>(widget)->text()) +
                                     QStringLiteral("\"");
                QVERIFY2(widget->height() >= needed, qPrintable(name));
                QVERIFY2(widget->width() >= widget->minimumSizeHint().width(), qPrintable(name));
            }
            if (small) {
                // The wheel over a number box scrolls; the number stays.
                QDoubleSpinBox* fade = dialog.blackoutFadeBox();
                const double before = fade->value();
                const QPointF at(fade->width() / 2.0, fade->height() / 2.0);
                QWheelEvent wheel(at, fade->mapToGlobal(at), QPoint(), QPoint(0, -120),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(fade, &wheel);
                QCOMPARE(fade->value(), before);
                QVERIFY(scroll->verticalScrollBar()->value() > 0);
            }
        }
    }
};

// Two offscreen screens: "HD", 1920 x 1080, where the dialog opened at
// 401 x 720 and cut the lighting desk's lines, and "SMALL", 1024 x 600.
int main(int argc, char** argv) {
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() /
        ("prismeta-preferences-screens-" + std::to_string(getpid()) + ".json");
    {
        std::ofstream out(config);
        out << R"({"screens": [)"
               R"({"name": "HD", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
               R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},)"
               R"({"name": "SMALL", "x": 1920, "y": 0, "width": 1024, "height": 600,)"
               R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.c_str());
    int status = 0;
    {
        QApplication application(argc, argv);
        PreferencesDialogTest test;
        status = QTest::qExec(&test, argc, argv);
    }
    std::filesystem::remove(config);
    return status;
}

#include "PreferencesDialogTest.moc"
