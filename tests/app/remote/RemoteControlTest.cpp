// Remote control in the application: real packets from a liblo client reach
// the interface thread, change what the inspector shows, and a flood leaves
// the event loop turning; the preferences start, move and stop the server.
#include "../inspector/InspectorHarness.h"

#include "OscTestClient.h"

#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/SelectedSurfaceControls.h"
#include "app/remote/PreferencesDialog.h"
#include "app/remote/RemoteControl.h"
#include "app/remote/RemoteControlSettings.h"
#include "control/OscInbox.h"
#include "core/Log.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

using namespace prismeta;
using prismeta::test::OscTestClient;

namespace {

OscServerConfig anyFreePort() {
    OscServerConfig config;
    config.port = 0;
    return config;
}

// A port free a moment ago (the dialog offers 1 to 65535, not "any").
std::uint16_t freePort() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

} // namespace

class RemoteControlTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        sink_ = std::make_unique<ScopedLogSink>([](std::string_view) {});
    }
    void cleanup() { sink_.reset(); }

    void remoteEditsShowInTheInspectorAsItsOwnWould() {
        InspectorHarness h;
        h.model.addSurface();
        h.model.addOutput(OutputPreset::full);
        h.settle();
        RemoteControl remote(h.adapter);
        QVERIFY(remote.start(anyFreePort()));
        OscTestClient client;

        client.send(remote.port(), "/prismeta/surface/0/opacity", {OscArgument::float32(0.5f)});
        client.send(remote.port(), "/prismeta/output/0/blend/left", {OscArgument::float32(0.2f)});
        auto* controls = h.view->findChild<SelectedSurfaceControls*>();
        auto* card = h.view->findChild<OutputCard*>();
        QVERIFY(controls && card);
        QTRY_COMPARE(controls->opacityCaption()->text(), QStringLiteral("Opacity  50%"));
        QTRY_COMPARE(card->blendField(OutputCard::Edge::left)->text(), QStringLiteral("20%"));
        QCOMPARE(h.undoDepth(), 2u); // addSurface's and the remote edit's

        // Beyond the range: the slider's own end, exactly as dragging it there.
        client.send(remote.port(), "/prismeta/surface/0/opacity", {OscArgument::float32(9.0f)});
        QTRY_COMPARE(h.selected().opacity, 1.0);
        const double remoteValue = h.selected().opacity;
        auto* slider = h.view->findChild<ContinuousSlider*>(QStringLiteral("opacitySlider"));
        QVERIFY(slider);
        slider->setValue(slider->minimum());
        slider->setValue(slider->maximum());
        QCOMPARE(h.selected().opacity, remoteValue);
    }

    void aBundleTimedAheadRunsAtItsTime() {
        ProjectModel model;
        ModelAdapter adapter(model);
        model.addSurface();
        RemoteControl remote(adapter);
        QVERIFY(remote.start(anyFreePort()));

        // Snap on, timed 400 ms ahead on the real-time clock (the show clock).
        const auto due = std::chrono::system_clock::now() + std::chrono::milliseconds(400);
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(due.time_since_epoch()).count();
        const auto seconds = static_cast<std::uint32_t>(micros / 1'000'000 + 2'208'988'800LL);
        const auto fraction = static_cast<std::uint32_t>(((micros % 1'000'000) << 32) / 1'000'000);
        const std::string message =
            OscTestClient::encode("/prismeta/snap", {OscArgument::int32(1)});
        std::string bundle("#bundle", 8);
        for (const std::uint32_t value :
             {seconds, fraction, static_cast<std::uint32_t>(message.size())}) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                bundle.push_back(static_cast<char>((value >> shift) & 0xFF));
            }
        }
        bundle += message;
        OscTestClient::sendRaw(remote.port(), bundle);

        // Held while its time has not come, carried out once it has.
        QTRY_VERIFY_WITH_TIMEOUT(model.snapEnabled(), 5000);
        QVERIFY(std::chrono::system_clock::now() >= due);
    }

    void aFloodLeavesTheEventLoopTurning() {
        ProjectModel model;
        ModelAdapter adapter(model);
        model.addSurface();
        RemoteControl remote(adapter);
        QVERIFY(remote.start(anyFreePort()));

        // What happened, in order: B a batch, T a turn of a zero-time timer.
        QString trace;
        QTimer heartbeat;
        heartbeat.setInterval(0);
        connect(&heartbeat, &QTimer::timeout, this, [&] { trace += QLatin1Char('T'); });
        connect(&remote, &RemoteControl::batchHandled, this, [&](std::size_t count) {
            if (count > 0) {
                trace += QLatin1Char('B');
            }
        });
        heartbeat.start();

        // Another thread floods the server as fast as it can, then repeats
        // a last command until the interface thread has carried it out.
        std::atomic<bool> seen{false};
        const std::uint16_t port = remote.port();
        std::thread desk([port, &seen] {
            OscTestClient client;
            for (int k = 1; k <= 30000; ++k) {
                client.send(port, "/prismeta/surface/0/opacity",
                            {OscArgument::float32(static_cast<float>(k) / 30000.0f)});
            }
            while (!seen) {
                // The socket may drop any part of the sweep on a loaded
                // machine, so the last value is repeated too.
                client.send(port, "/prismeta/surface/0/opacity", {OscArgument::float32(0.75f)});
                client.send(port, "/prismeta/snap", {OscArgument::int32(1)});
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        // The latest value wins over everything queued before it.
        QTRY_VERIFY_WITH_TIMEOUT(model.snapEnabled() && model.surfaces()[0].opacity == 0.75, 60000);
        seen = true;
        desk.join();
        heartbeat.stop();

        // Each batch is bounded, the queue too, and between two batches the
        // loop came round to other timers: never more than two batches (one
        // woken, one continued) without a timer turn between them.
        QVERIFY(remote.largestBatch() <= RemoteControl::maxBatch);
        QVERIFY(remote.queueHighWater() <= OscInbox::Limits().maxMessages);
        QVERIFY2(!trace.contains(QStringLiteral("BBB")), qPrintable(trace.left(400)));
        QVERIFY(trace.count(QLatin1Char('T')) > 0);
    }

    void preferencesStartMoveAndStopTheServer() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        ProjectModel model;
        ModelAdapter adapter(model);
        RemoteControl remote(adapter);

        {
            PreferencesDialog dialog(remote, settings);
            QVERIFY(!dialog.enableBox()->isChecked());
            QCOMPARE(dialog.portBox()->value(), 7700);
            QVERIFY(dialog.loopbackButton()->isChecked());
            QVERIFY(!dialog.portBox()->isEnabled());
            QCOMPARE(dialog.statusLabel()->text(), QStringLiteral("Off"));

            dialog.enableBox()->setChecked(true);
            dialog.portBox()->setValue(freePort());
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(remote.isRunning());
            QCOMPARE(remote.host(), std::string("127.0.0.1"));
            QCOMPARE(int(remote.port()), dialog.portBox()->value());
        }
        const RemoteControlPreferences saved = readRemoteControlPreferences(settings);
        QVERIFY(saved.enabled);
        QCOMPARE(saved.port, remote.port());
        QVERIFY(!saved.allInterfaces);

        {
            PreferencesDialog dialog(remote, settings);
            QCOMPARE(dialog.statusLabel()->text(),
                     QStringLiteral("Listening on 127.0.0.1:%1").arg(remote.port()));
            dialog.allInterfacesButton()->setChecked(true);
            dialog.accept();
            QCOMPARE(remote.host(), std::string("0.0.0.0"));
        }
        {
            // A port another program holds: the dialog stays, saying why.
            OscInbox otherInbox([] {});
            auto other = OscServer::start(anyFreePort(), otherInbox);
            QVERIFY(other);
            PreferencesDialog dialog(remote, settings);
            dialog.loopbackButton()->setChecked(true);
            dialog.portBox()->setValue(other.value()->port());
            dialog.accept();
            QVERIFY(dialog.result() != int(QDialog::Accepted));
            QVERIFY2(
                dialog.statusLabel()->text().contains(QStringLiteral("Address already in use")),
                qPrintable(dialog.statusLabel()->text()));
        }
        {
            PreferencesDialog dialog(remote, settings);
            dialog.enableBox()->setChecked(false);
            dialog.accept();
            QVERIFY(!remote.isRunning());
            QVERIFY(!readRemoteControlPreferences(settings).enabled);
        }
        {
            // A server for this run only (--osc-port) survives OK on an
            // unchanged dialog, which says where it comes from.
            QVERIFY(remote.start(anyFreePort(), RemoteControl::Origin::commandLine));
            PreferencesDialog dialog(remote, settings);
            QVERIFY(dialog.statusLabel()->text().endsWith(QStringLiteral("(--osc-port)")));
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(remote.isRunning());
        }
    }

    void unreadableSettingsAndPortsFallBack() {
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("osc/port"), QStringLiteral("seventy"));
        QCOMPARE(readRemoteControlPreferences(settings).port, std::uint16_t{7700});
        settings.setValue(QStringLiteral("osc/port"), 70000);
        QCOMPARE(readRemoteControlPreferences(settings).port, std::uint16_t{7700});

        QCOMPARE(parseOscPort(QStringLiteral("0")), std::optional<std::uint16_t>(0));
        QCOMPARE(parseOscPort(QStringLiteral("65535")), std::optional<std::uint16_t>(65535));
        QVERIFY(!parseOscPort(QStringLiteral("65536")));
        QVERIFY(!parseOscPort(QStringLiteral("-1")));
        QVERIFY(!parseOscPort(QStringLiteral("port")));
    }

private:
    std::unique_ptr<ScopedLogSink> sink_;
};

QTEST_MAIN(RemoteControlTest)
#include "RemoteControlTest.moc"
