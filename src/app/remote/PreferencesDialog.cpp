#include "app/remote/PreferencesDialog.h"

#include "app/cues/ShowPreferences.h"
#include "app/remote/RemoteControl.h"
#include "cues/Blackout.h"
#include "media/LiveSources.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace prismeta {

PreferencesDialog::PreferencesDialog(RemoteControl& remote, QSettings& settings, QWidget* parent)
    : QDialog(parent), remote_(remote), settings_(settings) {
    setWindowTitle(tr("Preferences"));
    auto* outer = new QVBoxLayout(this);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    body_ = new QWidget(scroll_);
    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(0, 0, 0, 0);
    scroll_->setWidget(body_);
    outer->addWidget(scroll_, 1);

    auto* group = new QGroupBox(tr("Remote Control (OSC)"), body_);
    auto* form = new QFormLayout(group);
    enable_ = new QCheckBox(tr("Enable OSC"), group);
    enable_->setObjectName(QStringLiteral("enableOscBox"));
    form->addRow(enable_);

    port_ = new QSpinBox(group);
    port_->setObjectName(QStringLiteral("oscPortBox"));
    port_->setRange(1, 65535);
    port_->setAccessibleName(tr("UDP port"));
    form->addRow(tr("UDP port:"), port_);
    auto* portNote =
        new QLabel(tr("7700 unless you change it: 9000, the usual OSC port, is taken by many "
                      "other tools."),
                   group);
    portNote->setWordWrap(true);
    form->addRow(QString(), portNote);

    loopback_ = new QRadioButton(tr("This computer only (127.0.0.1)"), group);
    loopback_->setObjectName(QStringLiteral("oscLoopbackButton"));
    allInterfaces_ = new QRadioButton(tr("All network interfaces"), group);
    allInterfaces_->setObjectName(QStringLiteral("oscAllInterfacesButton"));
    auto* where = new QVBoxLayout;
    where->addWidget(loopback_);
    where->addWidget(allInterfaces_);
    auto* whereNote =
        new QLabel(tr("On all interfaces, anyone on the network can change the show: use it on a "
                      "network you trust."),
                   group);
    whereNote->setWordWrap(true);
    where->addWidget(whereNote);
    form->addRow(tr("Listen on:"), where);

    status_ = new QLabel(group);
    status_->setObjectName(QStringLiteral("oscStatusLabel"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(tr("Now:"), status_);
    column->addWidget(group);

    auto* showGroup = new QGroupBox(tr("Show"), body_);
    auto* showForm = new QFormLayout(showGroup);
    blackoutFade_ = new QDoubleSpinBox(showGroup);
    blackoutFade_->setObjectName(QStringLiteral("blackoutFadeBox"));
    blackoutFade_->setRange(0.0, maxBlackoutFade);
    blackoutFade_->setDecimals(1);
    blackoutFade_->setSingleStep(0.5);
    blackoutFade_->setSuffix(tr(" s"));
    blackoutFade_->setAccessibleName(tr("Blackout fade in seconds"));
    blackoutFade_->setValue(readBlackoutFade(settings_));
    showForm->addRow(tr("Blackout fade:"), blackoutFade_);
    liveHold_ = new QDoubleSpinBox(showGroup);
    liveHold_->setObjectName(QStringLiteral("liveHoldBox"));
    liveHold_->setRange(0.0, LiveSources::maxHoldSeconds);
    liveHold_->setDecimals(1);
    liveHold_->setSingleStep(0.5);
    liveHold_->setSuffix(tr(" s"));
    liveHold_->setAccessibleName(tr("Live source hold in seconds"));
    liveHold_->setToolTip(tr("How long a live surface keeps its last picture when its source "
                             "stops, before it shows the placeholder"));
    liveHold_->setValue(readLiveHoldSeconds(settings_));
    showForm->addRow(tr("Live source hold:"), liveHold_);
    column->addWidget(showGroup);
    column->addStretch(1);

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    outer->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);

    opened_ = readRemoteControlPreferences(settings_);
    enable_->setChecked(opened_.enabled);
    port_->setValue(opened_.port);
    (opened_.allInterfaces ? allInterfaces_ : loopback_)->setChecked(true);
    connect(enable_, &QCheckBox::toggled, this, &PreferencesDialog::enableControls);
    enableControls();
    showStatus();
}

RemoteControlPreferences PreferencesDialog::chosen() const {
    RemoteControlPreferences prefs;
    prefs.enabled = enable_->isChecked();
    prefs.port = static_cast<std::uint16_t>(port_->value());
    prefs.allInterfaces = allInterfaces_->isChecked();
    return prefs;
}

void PreferencesDialog::enableControls() {
    const bool on = enable_->isChecked();
    port_->setEnabled(on);
    loopback_->setEnabled(on);
    allInterfaces_->setEnabled(on);
}

void PreferencesDialog::showStatus(const QString& problem) {
    if (!problem.isEmpty()) {
        status_->setText(tr("Not listening: %1").arg(problem));
    } else if (remote_.isRunning()) {
        const QString where =
            QStringLiteral("%1:%2").arg(QString::fromStdString(remote_.host())).arg(remote_.port());
        status_->setText(remote_.origin() == RemoteControl::Origin::commandLine
                             ? tr("Listening on %1, for this run (--osc-port)").arg(where)
                             : tr("Listening on %1").arg(where));
    } else {
        status_->setText(tr("Off"));
    }
}

void PreferencesDialog::addSection(QWidget* section, std::function<bool()> apply) {
    auto* column = static_cast<QVBoxLayout*>(body_->layout());
    column->insertWidget(column->count() - 1, section); // above the stretch
    sections_.push_back(std::move(apply));
    fitted_ = false;
}

void PreferencesDialog::setVisible(bool visible) {
    if (visible && !fitted_) {
        for (QAbstractSpinBox* box : body_->findChildren<QAbstractSpinBox*>()) {
            box->setFocusPolicy(Qt::StrongFocus);
            box->installEventFilter(this);
        }
        fitToScreen();
    }
    QDialog::setVisible(visible);
}

bool PreferencesDialog::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QAbstractSpinBox*>(watched);
    if (event->type() == QEvent::Wheel && box != nullptr && !box->hasFocus()) {
        QCoreApplication::sendEvent(scroll_->verticalScrollBar(), event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PreferencesDialog::fitToScreen() {
    fitted_ = true;
    QScreen* on = parentWidget() != nullptr ? parentWidget()->screen() : screen();
    const QRect area = on->availableGeometry();
    // Room for the window's frame, which the geometry does not include.
    constexpr int frameAllowance = 48;
    const QMargins margins = layout()->contentsMargins();
    const int scrollBar = scroll_->verticalScrollBar()->sizeHint().width();
    // Wide enough that no line is cut and wrapped help text stays short.
    constexpr int readableWidth = 560;
    const int bodyWidth =
        std::max(body_->minimumSizeHint().width(), std::min(readableWidth, area.width()));
    const int bodyHeight = body_->layout()->hasHeightForWidth()
                               ? body_->layout()->totalHeightForWidth(bodyWidth)
                               : body_->sizeHint().height();
    const int chrome =
        margins.top() + margins.bottom() + layout()->spacing() + buttons_->sizeHint().height();
    const int maxHeight = area.height() - frameAllowance;
    const bool scrolls = bodyHeight + chrome > maxHeight;
    const int width = std::min(
        bodyWidth + margins.left() + margins.right() + (scrolls ? scrollBar : 0), area.width());
    resize(width, std::min(bodyHeight + chrome, maxHeight));
}

void PreferencesDialog::accept() {
    for (const std::function<bool()>& apply : sections_) {
        if (!apply()) {
            return;
        }
    }
    const RemoteControlPreferences prefs = chosen();
    // Unchanged, whatever runs keeps running.
    if (prefs != opened_) {
        writeRemoteControlPreferences(settings_, prefs);
        if (!prefs.enabled) {
            remote_.stop();
        } else if (!remote_.isRunning() || remote_.port() != prefs.port ||
                   (remote_.host() == "0.0.0.0") != prefs.allInterfaces) {
            const Status started = remote_.start(prefs.serverConfig());
            if (!started) {
                // Stay open: the user sees why and can pick another port.
                showStatus(QString::fromStdString(started.error));
                return;
            }
        }
        showStatus();
    }
    if (blackoutFade_->value() != readBlackoutFade(settings_)) {
        writeBlackoutFade(settings_, blackoutFade_->value());
    }
    if (liveHold_->value() != readLiveHoldSeconds(settings_)) {
        writeLiveHoldSeconds(settings_, liveHold_->value());
    }
    LiveSources::setHoldSeconds(readLiveHoldSeconds(settings_));
    QDialog::accept();
}

} // namespace prismeta
