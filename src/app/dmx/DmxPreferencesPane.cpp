#include "app/dmx/DmxPreferencesPane.h"

#include "app/dmx/DmxInput.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace prismeta {

namespace {

// "universe 1, sACN "Desk" from 10.0.0.5, priority 100, 44.0 packets/s, last
// 0.1 s ago".
QString sourceText(const DmxSourceStatus& source) {
    in_addr address{};
    address.s_addr = htonl(source.address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    const bool sacn = source.protocol == DmxProtocol::sacn;
    const QString who = sacn ? QObject::tr("sACN \"%1\" from %2")
                                   .arg(QString::fromStdString(source.name),
                                        source.address != 0 ? QString::fromLatin1(text)
                                                            : QObject::tr("an unknown address"))
                             : QObject::tr("Art-Net from %1").arg(QString::fromLatin1(text));
    return QObject::tr("Universe %1, %2, priority %3, %4 packets/s, last %5 s ago")
        .arg(source.universe)
        .arg(who)
        .arg(source.priority)
        .arg(source.packetsPerSecond, 0, 'f', 1)
        .arg(source.sinceLastPacket, 0, 'f', 1);
}

} // namespace

DmxPreferencesPane::DmxPreferencesPane(DmxInput& input, QSettings& settings, QWidget* parent)
    : QWidget(parent), input_(input), settings_(settings) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    auto* dmx = new QGroupBox(tr("Lighting Desk (Art-Net, sACN)"), this);
    auto* form = new QFormLayout(dmx);
    enable_ = new QCheckBox(tr("Enable DMX input"), dmx);
    enable_->setObjectName(QStringLiteral("enableDmxBox"));
    form->addRow(enable_);
    loopback_ = new QRadioButton(tr("This computer only (127.0.0.1)"), dmx);
    allInterfaces_ = new QRadioButton(tr("All network interfaces"), dmx);
    allInterfaces_->setObjectName(QStringLiteral("dmxAllInterfacesButton"));
    auto* where = new QVBoxLayout;
    where->addWidget(loopback_);
    where->addWidget(allInterfaces_);
    form->addRow(tr("Listen on:"), where);
    artNet_ = new QCheckBox(tr("Art-Net (UDP 6454)"), dmx);
    sacn_ = new QCheckBox(tr("sACN (UDP 5568)"), dmx);
    auto* protocols = new QHBoxLayout;
    protocols->addWidget(artNet_);
    protocols->addWidget(sacn_);
    protocols->addStretch();
    form->addRow(tr("Protocols:"), protocols);
    auto* note = new QLabel(tr("Patch surfaces and the show fixture in the project file; the "
                               "fixture profiles are in share/dmx."),
                            dmx);
    note->setWordWrap(true);
    form->addRow(QString(), note);
    status_ = new QLabel(dmx);
    status_->setObjectName(QStringLiteral("dmxStatusLabel"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Now:"), status_);
    sources_ = new QLabel(dmx);
    sources_->setObjectName(QStringLiteral("dmxSourcesLabel"));
    sources_->setWordWrap(true);
    sources_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Sources:"), sources_);
    column->addWidget(dmx);

    auto* timecode = new QGroupBox(tr("Timecode"), this);
    auto* timecodeForm = new QFormLayout(timecode);
    chase_ = new QCheckBox(tr("Chase timecode: cues with a timecode go at their time"), timecode);
    chase_->setObjectName(QStringLiteral("chaseTimecodeBox"));
    timecodeForm->addRow(chase_);
    fromArtNet_ = new QRadioButton(tr("Art-Net (needs DMX input)"), timecode);
    fromLtc_ = new QRadioButton(tr("LTC from audio input:"), timecode);
    ltcInput_ = new QLineEdit(timecode);
    ltcInput_->setPlaceholderText(tr("ALSA device (default, hw:1,0), WAV file or named pipe"));
    ltcInput_->setAccessibleName(tr("LTC audio input"));
    auto* source = new QVBoxLayout;
    source->addWidget(fromArtNet_);
    auto* ltcRow = new QHBoxLayout;
    ltcRow->addWidget(fromLtc_);
    ltcRow->addWidget(ltcInput_, 1);
    source->addLayout(ltcRow);
    timecodeForm->addRow(tr("From:"), source);
    freewheel_ = new QSpinBox(timecode);
    freewheel_->setRange(0, 300);
    freewheel_->setSuffix(tr(" frames"));
    freewheel_->setAccessibleName(tr("Freewheel when timecode stops, in frames"));
    timecodeForm->addRow(tr("Freewheel:"), freewheel_);
    column->addWidget(timecode);

    openedDmx_ = readDmxPreferences(settings_);
    openedTimecode_ = readTimecodePreferences(settings_);
    enable_->setChecked(openedDmx_.enabled);
    (openedDmx_.allInterfaces ? allInterfaces_ : loopback_)->setChecked(true);
    artNet_->setChecked(openedDmx_.artNet);
    sacn_->setChecked(openedDmx_.sacn);
    chase_->setChecked(openedTimecode_.chase);
    (openedTimecode_.source == TimecodeSource::ltc ? fromLtc_ : fromArtNet_)->setChecked(true);
    ltcInput_->setText(QString::fromStdString(openedTimecode_.ltcInput));
    freewheel_->setValue(openedTimecode_.freewheelFrames);
    for (QCheckBox* box : {enable_, chase_}) {
        connect(box, &QCheckBox::toggled, this, &DmxPreferencesPane::enableControls);
    }
    enableControls();
    showStatus();
    refresher_.setInterval(1000);
    connect(&refresher_, &QTimer::timeout, this, &DmxPreferencesPane::refresh);
    refresher_.start();
}

void DmxPreferencesPane::refresh() {
    showStatus(problem_);
}

DmxPreferences DmxPreferencesPane::chosenDmx() const {
    DmxPreferences prefs;
    prefs.enabled = enable_->isChecked();
    prefs.allInterfaces = allInterfaces_->isChecked();
    prefs.artNet = artNet_->isChecked();
    prefs.sacn = sacn_->isChecked();
    return prefs;
}

TimecodePreferences DmxPreferencesPane::chosenTimecode() const {
    TimecodePreferences prefs;
    prefs.chase = chase_->isChecked();
    prefs.source = fromLtc_->isChecked() ? TimecodeSource::ltc : TimecodeSource::artNet;
    const QString input = ltcInput_->text().trimmed();
    prefs.ltcInput = input.isEmpty() ? std::string("default") : input.toStdString();
    prefs.freewheelFrames = freewheel_->value();
    return prefs;
}

void DmxPreferencesPane::enableControls() {
    const bool on = enable_->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{loopback_, allInterfaces_, artNet_, sacn_}) {
        control->setEnabled(on);
    }
    const bool chasing = chase_->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{fromArtNet_, fromLtc_, ltcInput_, freewheel_}) {
        control->setEnabled(chasing);
    }
}

void DmxPreferencesPane::showStatus(const QString& problem) {
    problem_ = problem;
    const DmxReceiver* receiver = input_.receiver();
    QStringList lines;
    for (const DmxSourceStatus& source : input_.sources()) {
        lines << sourceText(source);
    }
    sources_->setText(!lines.isEmpty()      ? lines.join(QLatin1Char('\n'))
                      : receiver != nullptr ? tr("None heard yet in the universes the project "
                                                 "patches")
                                            : tr("None"));
    if (!problem.isEmpty()) {
        status_->setText(tr("Not listening: %1").arg(problem));
        return;
    }
    if (receiver == nullptr) {
        status_->setText(tr("Off"));
        return;
    }
    QString dark;
    if (const std::optional<DmxPatch> patch = input_.show().showPatch();
        patch && input_.show().masterDark()) {
        dark = QLatin1Char('\n') +
               tr("The show fixture's master (universe %1, address %2) is at 0: every output "
                  "is black until the desk brings it up")
                   .arg(patch->universe)
                   .arg(patch->address);
    }
    QStringList ports;
    if (receiver->artNetPort() != 0) {
        ports << tr("Art-Net on %1").arg(receiver->artNetPort());
    }
    if (receiver->sacnPort() != 0) {
        ports << tr("sACN on %1").arg(receiver->sacnPort());
    }
    const QString where = QString::fromStdString(receiver->address());
    status_->setText((input_.origin() == DmxInput::Origin::commandLine
                          ? tr("Listening on %1 (%2), for this run (--dmx)")
                          : tr("Listening on %1 (%2)"))
                         .arg(where, ports.join(QStringLiteral(", "))) +
                     dark);
}

bool DmxPreferencesPane::apply() {
    const DmxPreferences dmx = chosenDmx();
    if (dmx != openedDmx_) {
        writeDmxPreferences(settings_, dmx);
        if (!dmx.enabled) {
            input_.stop();
        } else {
            const Status started = input_.start(dmx.receiverConfig());
            if (!started) {
                showStatus(QString::fromStdString(started.error));
                return false;
            }
        }
        openedDmx_ = dmx;
        showStatus();
    }
    const TimecodePreferences timecode = chosenTimecode();
    if (timecode != openedTimecode_) {
        writeTimecodePreferences(settings_, timecode);
        openedTimecode_ = timecode;
        if (!timecode.chase) {
            input_.stopTimecode();
        } else {
            // A problem is logged; the preference stays for the next start.
            (void)input_.startTimecode(timecode.source, timecode.ltcInput,
                                       timecode.freewheelFrames);
        }
    }
    return true;
}

} // namespace prismeta
