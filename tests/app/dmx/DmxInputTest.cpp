// DMX and timecode in the application, over real UDP on the loopback address
// (free ports): a desk's levels reach the show's live layer and its GO the
// cue runner without touching the project; Art-Net timecode runs cues with a
// timecode and shows in the Cues panel, whose Timecode column edits them;
// the preferences section starts and stops what it says.
#include "../../dmx/TestSenders.h"

#include "app/ModelAdapter.h"
#include "app/cues/CuesDock.h"
#include "app/cues/ShowCues.h"
#include "app/dmx/DmxInput.h"
#include "app/dmx/DmxPreferencesPane.h"
#include "core/ProjectModel.h"
#include "dmx/ArtNetPacket.h"

#include <QCheckBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace prismeta;

// Named, not anonymous: the test class below (outside any namespace, as moc
// wants it) holds lambdas that capture a rig.
namespace dmxinput {

struct Rig {
    ProjectModel model;
    ModelAdapter adapter{model};
    ShowCues show{adapter};
    DmxInput input{adapter, show};
    Uuid wall;

    Rig() {
        DmxSettings settings; // not observed: set before what is
        settings.master = DmxPatch{5, 20};
        model.setDmx(settings);
        Surface surface;
        surface.mediaKind = MediaKind::color;
        surface.dmx = DmxPatch{5, 1};
        wall = surface.id;
        model.setSurfaces(std::vector<Surface>{surface});
        std::vector<Cue> cues(3);
        for (std::size_t i = 0; i < cues.size(); ++i) {
            cues[i].name = "Cue " + std::to_string(i + 1);
            cues[i].timecode = Timecode{1, 0, static_cast<int>(i), 0};
        }
        model.setCues(std::move(cues));
        show.setIncomingTimecode([this] { return input.timecodeText(); });
        QCoreApplication::processEvents(); // the model's changes reach the input
    }
    bool start() {
        DmxReceiverConfig config;
        config.artNetPort = 0;
        config.sacnPort = 0;
        return static_cast<bool>(input.start(config, DmxInput::Origin::commandLine));
    }
    void send(test::TestDesk& desk, std::vector<std::uint8_t> levels) {
        desk.sendTo(input.receiver()->artNetPort(), artDmxPacket(5, sequence++, levels));
    }
    std::uint8_t sequence = 1;
};

} // namespace dmxinput

using namespace dmxinput;

class DmxInputTest : public QObject {
    Q_OBJECT

private slots:
    void aDesksLevelsDriveTheLiveLayerAndItsGoTheCues() {
        Rig rig;
        QVERIFY(rig.start());
        QSignalSpy drawn(&rig.show, &ShowCues::changed);
        test::TestDesk desk;
        std::vector<std::uint8_t> levels(25, 0);
        levels[0] = 0x80; // intensity half, red only
        levels[2] = 255;
        levels[19] = 255; // master full
        levels[20] = 255;
        rig.send(desk, levels);
        QVERIFY(QTest::qWaitFor([&] { return rig.show.live().find(rig.wall) != nullptr; }));
        QVERIFY(!drawn.isEmpty()); // the views draw the next frame
        QCOMPARE(rig.show.live().find(rig.wall)->tint[1], 0.0f);
        QCOMPARE(rig.model.surfaces()[0].opacity, 1.0); // the project is left alone
        QVERIFY(rig.model.undoStack().empty());

        levels[22] = 2; // cue 2
        rig.send(desk, levels);
        levels[23] = 255; // GO
        rig.send(desk, levels);
        QVERIFY(QTest::qWaitFor([&] { return rig.show.runner().liveIndex() == 1u; }));
        QCOMPARE(rig.model.undoName(), std::string("Go 'Cue 2'"));

        rig.input.stop(); // silent: back to the project's look
        QVERIFY(rig.show.live().find(rig.wall) == nullptr);
        QCOMPARE(rig.show.live().master(), 1.0f);
    }

    void artNetTimecodeRunsCuesAndShowsInTheCuesPanel() {
        Rig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.input.startTimecode(TimecodeSource::artNet, {}, 10));
        CuesDock dock(rig.adapter, rig.show);
        QCOMPARE(dock.table()->item(1, 5)->text(), QStringLiteral("01:00:01:00"));
        test::TestDesk desk;
        for (int frame = 20; frame < 30; ++frame) {
            desk.sendTo(
                rig.input.receiver()->artNetPort(),
                artTimeCodePacket(Timecode{1, 0, frame / 25, frame % 25}, TimecodeRate::ebu25));
            QTest::qWait(10);
        }
        QVERIFY(QTest::qWaitFor([&] { return rig.show.runner().liveIndex() == 1u; }));
        dock.updateProgress();
        QVERIFY(!dock.timecodeLabel()->isHidden());
        QVERIFY(dock.timecodeLabel()->text().startsWith(QStringLiteral("Timecode: 01:00:01:")));

        // Edited in place: one undo step; text that is not a timecode is refused.
        dock.table()->item(2, 5)->setText(QStringLiteral("01:00:30:00"));
        QCOMPARE(rig.model.cues()[2].timecode, (Timecode{1, 0, 30, 0}));
        QCOMPARE(rig.model.undoName(), std::string("Cue Timecode"));
        dock.table()->item(2, 5)->setText(QStringLiteral("1:00"));
        QCOMPARE(rig.model.cues()[2].timecode, (Timecode{1, 0, 30, 0}));
        dock.table()->item(2, 5)->setText(QString());
        QVERIFY(!rig.model.cues()[2].timecode);

        rig.input.stop();
        QVERIFY(!rig.input.startTimecode(TimecodeSource::artNet, {}, 10)); // needs DMX input
    }

    void thePreferencesSectionStopsWhatItTurnsOff() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        Rig rig;
        QVERIFY(rig.start());
        DmxPreferencesPane pane(rig.input, settings);
        QVERIFY(pane.statusLabel()->text().contains(QStringLiteral("for this run")));
        QVERIFY(!pane.enableBox()->isChecked());
        pane.chaseBox()->setChecked(true);
        QVERIFY(pane.apply()); // chasing from Art-Net, on the receiver of this run
        QVERIFY(rig.input.chasing());
        pane.enableBox()->setChecked(true);
        pane.enableBox()->setChecked(false); // back as it opened: nothing changes
        QVERIFY(pane.apply());
        QVERIFY(rig.input.isRunning());
        QCOMPARE(readTimecodePreferences(settings).chase, true);
    }

    // A desk that leaves the show fixture's master at 0 (as the README's
    // example once did): the section says every output is black, and lists
    // the desk with its address and a rate that is not 0 though it sent once.
    void thePreferencesSectionShowsEachSourceAndADarkMaster() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat);
        Rig rig;
        QVERIFY(rig.start());
        DmxPreferencesPane pane(rig.input, settings);
        QCOMPARE(pane.sourcesLabel()->text(),
                 QStringLiteral("None heard yet in the universes the project patches"));
        test::TestDesk desk;
        std::vector<std::uint8_t> levels(25, 255);
        levels[19] = 0; // master 0
        levels[20] = 0;
        levels[22] = levels[23] = levels[24] = 0; // cue, GO, blackout
        rig.send(desk, levels);
        QVERIFY(QTest::qWaitFor([&] { return rig.input.show().masterDark(); }));
        pane.refresh();
        QVERIFY2(pane.statusLabel()->text().contains(
                     QStringLiteral("The show fixture's master (universe 5, address 20) is at 0: "
                                    "every output is black")),
                 qPrintable(pane.statusLabel()->text()));
        const QString sources = pane.sourcesLabel()->text();
        QVERIFY2(sources.startsWith(
                     QStringLiteral("Universe 5, Art-Net from 127.0.0.1, priority 100, ")),
                 qPrintable(sources));
        QVERIFY2(!sources.contains(QStringLiteral(" 0.0 packets/s")), qPrintable(sources));

        levels[19] = levels[20] = 255;
        rig.send(desk, levels);
        QVERIFY(QTest::qWaitFor([&] { return !rig.input.show().masterDark(); }));
        pane.refresh();
        QVERIFY(!pane.statusLabel()->text().contains(QStringLiteral("is at 0")));
    }
};

QTEST_MAIN(DmxInputTest)
#include "DmxInputTest.moc"
