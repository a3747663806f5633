#include "app/CanvasView.h"
#include "app/Icons.h"
#include "app/MainWindow.h"
#include "app/PrismetaApp.h"
#include "app/cluster/ClusterFollow.h"
#include "app/cluster/ClusterLead.h"
#include "app/cluster/ClusterPreferences.h"
#include "app/cluster/NodesPanel.h"
#include "app/cluster/ShowNodes.h"
#include "app/cues/ShowCues.h"
#include "app/dmx/DmxPreferences.h"
#include "app/document/DocumentDialogs.h"
#include "app/document/MissingMediaWatcher.h"
#include "app/remote/RemoteControl.h"
#include "app/remote/RemoteControlSettings.h"
#include "app/show/OutputPlacer.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "media/MallocArenas.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace {

// Help, the version and wrong arguments are answered without the window
// system, so they work on a machine without a display (over ssh, in a
// script): only a run that opens windows makes the QApplication. Exits
// after printing; returns otherwise.
void answerWithoutDisplay(QCommandLineParser& parser, int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const bool parsed = parser.parse(arguments);
    if (parsed && !parser.isSet(QStringLiteral("help")) &&
        !parser.isSet(QStringLiteral("help-all")) && !parser.isSet(QStringLiteral("version"))) {
        return;
    }
    const QCoreApplication core(argc, argv);
    parser.process(core); // prints the help, the version or the error, and exits
}

} // namespace

int main(int argc, char** argv) {
    prismeta::limitMallocArenas();
    QCoreApplication::setApplicationName(QStringLiteral("Prismeta"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PRISMETA_VERSION));

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
    const QCommandLineOption cue(
        QStringLiteral("cue"),
        QStringLiteral("With --show: start at this cue (its number from 1, its name or its id) "
                       "instead of the one the schedule puts in force."),
        QStringLiteral("cue"));
    parser.addOption(cue);
    const QCommandLineOption oscPort(
        QStringLiteral("osc-port"),
        QStringLiteral("Listen for OSC on this UDP port of the loopback address, for this run "
                       "only (0: any free port)."),
        QStringLiteral("port"));
    parser.addOption(oscPort);
    const QCommandLineOption lead(
        QStringLiteral("lead"),
        QStringLiteral("Lead a show on many machines: publish the project to the show's MQTT "
                       "broker (from --broker and --topic, or the project's cluster key)."));
    parser.addOption(lead);
    const QCommandLineOption broker(QStringLiteral("broker"),
                                    QStringLiteral("The show's MQTT broker, host[:port]."),
                                    QStringLiteral("host[:port]"));
    parser.addOption(broker);
    const QCommandLineOption topic(QStringLiteral("topic"),
                                   QStringLiteral("The show's topic on the broker."),
                                   QStringLiteral("name"));
    parser.addOption(topic);
    const QCommandLineOption brokerAuth(
        QStringLiteral("broker-auth"),
        QStringLiteral("A file of key=value lines (user, password, cafile, certfile, keyfile) "
                       "readable by its owner only."),
        QStringLiteral("file"));
    parser.addOption(brokerAuth);
    const QCommandLineOption node(
        QStringLiteral("node"),
        QStringLiteral("With --show: follow the show's leader on the broker as this machine, "
                       "showing the outputs whose node is NAME (no project needed)."),
        QStringLiteral("name"));
    parser.addOption(node);
    const QCommandLineOption dmx(
        QStringLiteral("dmx"),
        QStringLiteral("Listen for Art-Net and sACN from a lighting desk on this local IPv4 "
                       "address, for this run only (127.0.0.1: this computer; 0.0.0.0: every "
                       "interface)."),
        QStringLiteral("address"));
    parser.addOption(dmx);
    const QCommandLineOption artNetPort(
        QStringLiteral("artnet-port"),
        QStringLiteral("With --dmx: the Art-Net UDP port (6454 unless given; 0: any free port)."),
        QStringLiteral("port"));
    parser.addOption(artNetPort);
    const QCommandLineOption sacnPort(
        QStringLiteral("sacn-port"),
        QStringLiteral("With --dmx: the sACN UDP port (5568 unless given; 0: any free port)."),
        QStringLiteral("port"));
    parser.addOption(sacnPort);
    const QCommandLineOption timecode(
        QStringLiteral("timecode"),
        QStringLiteral("Chase timecode from artnet (needs DMX input) or ltc for this run: cues "
                       "with a timecode go at their time."),
        QStringLiteral("artnet|ltc"));
    parser.addOption(timecode);
    const QCommandLineOption ltcInput(
        QStringLiteral("ltc-input"),
        QStringLiteral("LTC's audio input: an ALSA capture device (default, hw:1,0), a WAV file "
                       "or a named pipe carrying WAV (implies --timecode ltc)."),
        QStringLiteral("input"));
    parser.addOption(ltcInput);
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A project file to open at launch."),
                                 QStringLiteral("[project]"));
    answerWithoutDisplay(parser, argc, argv);

    // GL widgets take the default format; it must be set before QApplication.
    prismeta::CanvasView::installDefaultSurfaceFormat();
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("prismeta"));
    QApplication::setWindowIcon(prismeta::appIcon(prismeta::AppIcon::application));
    parser.process(application);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1) {
        std::fputs("prismeta: give at most one project file\n", stderr);
        return 2;
    }

    if (parser.isSet(node) && !parser.isSet(show)) {
        std::fputs("prismeta: --node goes with --show\n", stderr);
        return 2;
    }
    if (parser.isSet(node) && parser.isSet(lead)) {
        std::fputs("prismeta: a machine either leads (--lead) or follows (--node)\n", stderr);
        return 2;
    }
    if (parser.isSet(show) && !parser.isSet(node) && arguments.isEmpty()) {
        std::fputs("prismeta: --show needs a project file\n", stderr);
        return 2;
    }
    std::optional<std::uint16_t> portForThisRun;
    if (parser.isSet(oscPort)) {
        portForThisRun = prismeta::parseOscPort(parser.value(oscPort));
        if (!portForThisRun) {
            std::fputs("prismeta: --osc-port takes a port number from 0 to 65535\n", stderr);
            return 2;
        }
    }

    std::optional<prismeta::DmxReceiverConfig> dmxForThisRun;
    if (parser.isSet(dmx)) {
        prismeta::DmxReceiverConfig config = prismeta::DmxPreferences{}.receiverConfig();
        config.address = parser.value(dmx).trimmed().toStdString();
        if (!prismeta::isIpv4Address(config.address)) {
            std::fputs("prismeta: --dmx takes a local IPv4 address (127.0.0.1, 0.0.0.0, ...)\n",
                       stderr);
            return 2;
        }
        for (const auto& [option, port] :
             {std::pair{&artNetPort, &config.artNetPort}, std::pair{&sacnPort, &config.sacnPort}}) {
            if (parser.isSet(*option)) {
                const std::optional<std::uint16_t> parsed =
                    prismeta::parseUdpPort(parser.value(*option));
                if (!parsed) {
                    std::fputs("prismeta: --artnet-port and --sacn-port take a port number from "
                               "0 to 65535\n",
                               stderr);
                    return 2;
                }
                *port = *parsed;
            }
        }
        dmxForThisRun = config;
    } else if (parser.isSet(artNetPort) || parser.isSet(sacnPort)) {
        std::fputs("prismeta: --artnet-port and --sacn-port go with --dmx\n", stderr);
        return 2;
    }
    std::optional<prismeta::TimecodeSource> timecodeForThisRun;
    if (parser.isSet(timecode)) {
        timecodeForThisRun = prismeta::parseTimecodeSource(parser.value(timecode));
        if (!timecodeForThisRun) {
            std::fputs("prismeta: --timecode takes artnet or ltc\n", stderr);
            return 2;
        }
    }
    std::optional<std::string> ltcForThisRun;
    if (parser.isSet(ltcInput)) {
        if (timecodeForThisRun == prismeta::TimecodeSource::artNet) {
            std::fputs("prismeta: --ltc-input goes with --timecode ltc\n", stderr);
            return 2;
        }
        timecodeForThisRun = prismeta::TimecodeSource::ltc;
        ltcForThisRun = parser.value(ltcInput).toStdString();
    }
    const auto startDmx = [&](prismeta::PrismetaApp& app) {
        app.startDmx(dmxForThisRun);
        app.startTimecode(timecodeForThisRun, ltcForThisRun);
    };

    prismeta::ClusterLaunch cluster;
    if (parser.isSet(broker)) {
        cluster.broker = parser.value(broker).toStdString();
    }
    if (parser.isSet(topic)) {
        cluster.topic = parser.value(topic).toStdString();
    }
    if (parser.isSet(brokerAuth)) {
        cluster.authFile = prismeta::pathFromQString(parser.value(brokerAuth));
    }

    const prismeta::Result<prismeta::ClusterPreferences> clusterPreferences =
        prismeta::readClusterPreferences(*prismeta::applicationSettings());
    if ((parser.isSet(lead) || parser.isSet(node)) && !clusterPreferences) {
        std::fputs(("prismeta: " + clusterPreferences.error() + "\n").c_str(), stderr);
        return 2;
    }
    if (clusterPreferences) {
        cluster.preferredCredentials = clusterPreferences->credentials;
        if (clusterPreferences->passwordExposed && (parser.isSet(lead) || parser.isSet(node)) &&
            !parser.isSet(brokerAuth)) {
            prismeta::logLine("Prismeta: the broker password in the preferences is readable by "
                              "other users; chmod 600 the settings file or use --broker-auth");
        }
    }

    prismeta::PrismetaApp app;
    if (parser.isSet(node)) {
        // A follower: the model comes from the leader; a project given here
        // only supplies the cluster key (and a first state until the
        // leader's arrives).
        app.placer().setShowMode(true);
        // Its outputs' displays name the screens it reported to the leader.
        app.placer().setStandIn(true);
        if (!arguments.isEmpty()) {
            (void)app.model().load(prismeta::pathFromQString(arguments.front()));
        }
        app.startRemoteControl(portForThisRun);
        app.remoteControl().refuseEdits("this machine follows the show's leader; edit there");
        startDmx(app);
        prismeta::ClusterFollow following(app.model(), app.outputWindows(), app.showCues().runner(),
                                          app.missingMedia());
        if (!following.start(cluster, parser.value(node).toStdString())) {
            return 2;
        }
        return QApplication::exec();
    }
    if (parser.isSet(show)) {
        std::optional<std::string> startCue;
        if (parser.isSet(cue)) {
            startCue = parser.value(cue).toStdString();
        }
        app.startShow(prismeta::pathFromQString(arguments.front()), startCue);
    } else {
        app.show();
    }
    app.startRemoteControl(portForThisRun);
    if (!parser.isSet(show) && !arguments.isEmpty()) {
        app.openAtLaunch(prismeta::pathFromQString(arguments.front()));
    }
    startDmx(app);
    // After the project is open: its cluster key fills what the command
    // line leaves out.
    prismeta::ClusterLead leading(app.model());
    if (parser.isSet(lead)) {
        if (!leading.start(cluster)) {
            return 2;
        }
        // GOs and blackouts are set ahead, for every machine to start them
        // on the frame for that moment.
        app.showCues().runner().setGoAhead(clusterPreferences->goAheadMilliseconds / 1000.0);
        // Shader events too, which travel with the show state.
        app.model().shaderEvents().setDelay(clusterPreferences->goAheadMilliseconds / 1000.0);
        leading.setCueRunner(&app.showCues().runner());
        // The Nodes panel, a dock of the main window (the editor).
        auto* panel = prismeta::NodesPanel::addDockTo(app.mainWindow());
        leading.onNodesChanged([panel, &app](const prismeta::NodeDirectory& nodes) {
            panel->show(nodes);
            // The output cards list the machines and the screens each has.
            app.showNodes().update(nodes);
        });
        leading.onBrokerChanged(
            [panel](const prismeta::BrokerConnection& state) { panel->showBroker(state); });
    }
    return QApplication::exec();
}
