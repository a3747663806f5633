#include "app/CanvasView.h"
#include "app/DocumentDialogs.h"
#include "app/Icons.h"
#include "app/PrismetaApp.h"
#include "media/MallocArenas.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv) {
    prismeta::limitMallocArenas();
    // GL widgets take the default format; it must be set before QApplication.
    prismeta::CanvasView::installDefaultSurfaceFormat();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Prismeta"));
    QApplication::setApplicationVersion(QStringLiteral(PRISMETA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("prismeta"));
    QApplication::setWindowIcon(prismeta::appIcon(prismeta::AppIcon::application));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Projection mapping"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption show(
        QStringLiteral("show"),
        QStringLiteral("Run the show: open every output that has a display full screen on its "
                       "screen, without the editor (Ctrl+E shows it). Nothing is asked; "
                       "problems are logged."));
    parser.addOption(show);
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A project file to open at launch."),
                                 QStringLiteral("[project]"));
    parser.process(application);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1) {
        std::fputs("prismeta: give at most one project file\n", stderr);
        return 2;
    }

    if (parser.isSet(show) && arguments.isEmpty()) {
        std::fputs("prismeta: --show needs a project file\n", stderr);
        return 2;
    }

    prismeta::PrismetaApp app;
    if (parser.isSet(show)) {
        app.startShow(prismeta::pathFromQString(arguments.front()));
        return QApplication::exec();
    }
    app.show();
    if (!arguments.isEmpty()) {
        app.openAtLaunch(prismeta::pathFromQString(arguments.front()));
    }
    return QApplication::exec();
}
