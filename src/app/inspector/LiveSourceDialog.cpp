#include "app/inspector/LiveSourceDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>
#include <memory>
#include <utility>

namespace prismeta {

namespace {

// Item data of the mode and rate lists: an index into the device's modes or
// the mode's rates; -1 for "as the device gives it".
constexpr int asItComes = -1;

QString modeText(const CaptureMode& mode) {
    return QStringLiteral("%1 \u00d7 %2 (%3)")
        .arg(mode.width)
        .arg(mode.height)
        .arg(QString::fromStdString(mode.format));
}

QString rateText(double rate) {
    return QObject::tr("%1 fps").arg(QString::number(rate, 'g', 5));
}

// The sources whose protocol has a latency or jitter buffer to set (SRT,
// RTP with or without its SDP, RTSP).
bool takesLatency(const std::string& source) {
    switch (liveSourceType(source)) {
    case LiveSourceType::srt:
    case LiveSourceType::rtp:
    case LiveSourceType::rtsp:
    case LiveSourceType::sdpFile:
        return true;
    case LiveSourceType::captureDevice:
    case LiveSourceType::udp:
    case LiveSourceType::http:
    case LiveSourceType::unknown:
        break;
    }
    return false;
}

bool sameRate(double a, double b) {
    return std::fabs(a - b) < 0.01;
}

QString trimmed(const QLineEdit* field) {
    return field->text().trimmed();
}

} // namespace

LiveSourceDialog::LiveSourceDialog(const LiveSourceChoice& current, DeviceFinder finder,
                                   QWidget* parent)
    : QDialog(parent), current_(current) {
    setWindowTitle(tr("Live Source"));
    setObjectName(QStringLiteral("liveSourceDialog"));
    auto* column = new QVBoxLayout(this);

    deviceButton_ = new QRadioButton(tr("Capture device on this computer"), this);
    deviceButton_->setObjectName(QStringLiteral("liveDeviceButton"));
    column->addWidget(deviceButton_);
    auto* deviceForm = new QFormLayout;
    deviceForm->setContentsMargins(24, 0, 0, 8);
    device_ = new QComboBox(this);
    device_->setObjectName(QStringLiteral("liveDeviceBox"));
    device_->setAccessibleName(tr("Device"));
    device_->addItem(tr("Looking for devices\u2026"));
    device_->setEnabled(false);
    deviceForm->addRow(tr("Device:"), device_);
    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("liveModeBox"));
    mode_->setAccessibleName(tr("Picture size and format"));
    deviceForm->addRow(tr("Size:"), mode_);
    rate_ = new QComboBox(this);
    rate_->setObjectName(QStringLiteral("liveRateBox"));
    rate_->setAccessibleName(tr("Frame rate"));
    deviceForm->addRow(tr("Rate:"), rate_);
    column->addLayout(deviceForm);

    streamButton_ = new QRadioButton(tr("Network stream"), this);
    streamButton_->setObjectName(QStringLiteral("liveStreamButton"));
    column->addWidget(streamButton_);
    auto* streamForm = new QFormLayout;
    streamForm->setContentsMargins(24, 0, 0, 8);
    url_ = new QLineEdit(this);
    url_->setObjectName(QStringLiteral("liveUrlField"));
    url_->setAccessibleName(tr("Stream address"));
    url_->setPlaceholderText(QStringLiteral("srt://192.168.1.20:9000"));
    url_->setMinimumWidth(320);
    streamForm->addRow(tr("Address:"), url_);
    auto* hint = new QLabel(tr("srt://host:port (add ?mode=listener to wait for the sender), "
                               "udp://@:5000, rtsp://, http(s):// for HLS, or the path of an "
                               ".sdp file"),
                            this);
    hint->setWordWrap(true);
    hint->setEnabled(false); // greyed: a note, not a control
    streamForm->addRow(QString(), hint);
    latency_ = new QSpinBox(this);
    latency_->setObjectName(QStringLiteral("liveLatencyBox"));
    latency_->setAccessibleName(tr("Latency in milliseconds"));
    latency_->setRange(0, maxLiveLatencyMs);
    latency_->setSingleStep(20);
    latency_->setSuffix(tr(" ms"));
    latency_->setSpecialValueText(tr("As the protocol sets it"));
    latency_->setToolTip(tr("SRT's latency, or the jitter buffer of RTP and RTSP"));
    streamForm->addRow(tr("Latency:"), latency_);
    column->addLayout(streamForm);

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("liveProblemLabel"));
    problem_->setWordWrap(true);
    problem_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the longest line from the start: a problem that comes and
    // goes while typing moves nothing.
    problem_->setMinimumHeight(2 * problem_->fontMetrics().lineSpacing() + 4);
    column->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* kinds = new QButtonGroup(this);
    kinds->addButton(deviceButton_);
    kinds->addButton(streamButton_);

    // Where the surface's source is.
    const LiveSourceType type = liveSourceType(current_.source);
    const bool device = type == LiveSourceType::captureDevice || current_.source.empty();
    (device ? deviceButton_ : streamButton_)->setChecked(true);
    if (!device) {
        url_->setText(QString::fromStdString(current_.source));
    }
    latency_->setValue(current_.options.latencyMs.value_or(0));

    connect(deviceButton_, &QRadioButton::toggled, this, [this] {
        kindChosen_ = true;
        update();
    });
    connect(device_, &QComboBox::currentIndexChanged, this, &LiveSourceDialog::showModes);
    connect(mode_, &QComboBox::currentIndexChanged, this, &LiveSourceDialog::showRates);
    connect(rate_, &QComboBox::currentIndexChanged, this, &LiveSourceDialog::update);
    connect(url_, &QLineEdit::textChanged, this, [this] {
        if (!streamButton_->isChecked()) {
            const QSignalBlocker blocker(deviceButton_);
            streamButton_->setChecked(true);
            kindChosen_ = true;
        }
        update();
    });
    showModes();

    // Each device is opened to read what it offers: never on this thread.
    auto found = std::make_shared<std::vector<CaptureDevice>>();
    QThread* search = QThread::create([found, finder = std::move(finder)] {
        if (finder) {
            *found = finder();
        }
    });
    connect(search, &QThread::finished, search, &QObject::deleteLater);
    connect(search, &QThread::finished, this, [this, found] { showDevices(std::move(*found)); });
    search->start();
}

void LiveSourceDialog::showDevices(std::vector<CaptureDevice> devices) {
    devices_ = std::move(devices);
    const bool currentIsDevice = liveSourceType(current_.source) == LiveSourceType::captureDevice;
    bool currentListed = false;
    for (const CaptureDevice& device : devices_) {
        currentListed = currentListed || device.path == current_.source;
    }
    if (currentIsDevice && !currentListed) {
        // Not on this computer (a project from another machine): kept, as it is.
        CaptureDevice missing;
        missing.path = current_.source;
        devices_.insert(devices_.begin(), std::move(missing));
    }
    {
        const QSignalBlocker blocker(device_);
        device_->clear();
        for (std::size_t i = 0; i < devices_.size(); ++i) {
            const CaptureDevice& device = devices_[i];
            const QString path = QString::fromStdString(device.path);
            device_->addItem(device.name.empty() ? tr("%1 (not found)").arg(path)
                                                 : QStringLiteral("%1 (%2)").arg(
                                                       QString::fromStdString(device.name), path));
            if (device.path == current_.source) {
                device_->setCurrentIndex(static_cast<int>(i));
            }
        }
        if (devices_.empty()) {
            device_->addItem(tr("No capture device on this computer"));
        }
        device_->setEnabled(!devices_.empty());
    }
    listed_ = true;
    if (devices_.empty() && !kindChosen_ && current_.source.empty()) {
        const QSignalBlocker blocker(deviceButton_);
        streamButton_->setChecked(true);
    }
    showModes();
    emit devicesFound();
}

const CaptureDevice* LiveSourceDialog::selectedDevice() const {
    const int index = device_->currentIndex();
    if (!listed_ || index < 0 || static_cast<std::size_t>(index) >= devices_.size()) {
        return nullptr;
    }
    return &devices_[static_cast<std::size_t>(index)];
}

const CaptureMode* LiveSourceDialog::selectedMode() const {
    const CaptureDevice* device = selectedDevice();
    const int index = mode_->currentData().isValid() ? mode_->currentData().toInt() : asItComes;
    if (device == nullptr || index < 0 || static_cast<std::size_t>(index) >= device->modes.size()) {
        return nullptr;
    }
    return &device->modes[static_cast<std::size_t>(index)];
}

void LiveSourceDialog::showModes() {
    {
        const QSignalBlocker blocker(mode_);
        mode_->clear();
        mode_->addItem(tr("As the device gives it"), asItComes);
        const CaptureDevice* device = selectedDevice();
        const LiveOptions& wanted = current_.options;
        for (std::size_t i = 0; device != nullptr && i < device->modes.size(); ++i) {
            const CaptureMode& mode = device->modes[i];
            mode_->addItem(modeText(mode), static_cast<int>(i));
            const bool isCurrent = device->path == current_.source && wanted.width == mode.width &&
                                   wanted.height == mode.height &&
                                   (!wanted.format || *wanted.format == mode.format);
            if (isCurrent && mode_->currentIndex() == 0) {
                mode_->setCurrentIndex(mode_->count() - 1);
            }
        }
    }
    showRates();
}

void LiveSourceDialog::showRates() {
    {
        const QSignalBlocker blocker(rate_);
        rate_->clear();
        rate_->addItem(tr("As the device gives it"), asItComes);
        const CaptureMode* mode = selectedMode();
        const CaptureDevice* device = selectedDevice();
        for (std::size_t i = 0; mode != nullptr && i < mode->rates.size(); ++i) {
            const double rate = mode->rates[i];
            rate_->addItem(rateText(rate), static_cast<int>(i));
            if (device->path == current_.source && current_.options.fps &&
                sameRate(*current_.options.fps, rate) && rate_->currentIndex() == 0) {
                rate_->setCurrentIndex(rate_->count() - 1);
            }
        }
        rate_->setEnabled(rate_->count() > 1);
    }
    update();
}

std::optional<LiveSourceChoice> LiveSourceDialog::choice() const {
    LiveSourceChoice chosen;
    if (deviceButton_->isChecked()) {
        const CaptureDevice* device = selectedDevice();
        if (device == nullptr) {
            return std::nullopt;
        }
        chosen.source = device->path;
        if (const CaptureMode* mode = selectedMode()) {
            chosen.options.width = mode->width;
            chosen.options.height = mode->height;
            if (validLiveFormat(mode->format)) {
                chosen.options.format = mode->format;
            }
            const int rate = rate_->currentData().isValid() ? rate_->currentData().toInt() : -1;
            if (rate >= 0 && static_cast<std::size_t>(rate) < mode->rates.size()) {
                chosen.options.fps = mode->rates[static_cast<std::size_t>(rate)];
            }
        }
        return chosen;
    }
    const QString address = trimmed(url_);
    if (address.isEmpty() || liveSourceType(address.toStdString()) == LiveSourceType::unknown) {
        return std::nullopt;
    }
    chosen.source = address.toStdString();
    if (latency_->value() > 0 && takesLatency(chosen.source)) {
        chosen.options.latencyMs = latency_->value();
    }
    return chosen;
}

void LiveSourceDialog::update() {
    const bool device = deviceButton_->isChecked();
    device_->setEnabled(device && listed_ && !devices_.empty());
    mode_->setEnabled(device && selectedDevice() != nullptr && mode_->count() > 1);
    rate_->setEnabled(device && rate_->count() > 1);
    latency_->setEnabled(!device && takesLatency(trimmed(url_).toStdString()));

    QString problem;
    if (device && !listed_) {
        problem = tr("Looking for capture devices\u2026");
    } else if (device && devices_.empty()) {
        problem = tr("No capture device was found on this computer: choose a network stream.");
    } else if (!device) {
        const QString address = trimmed(url_);
        if (address.isEmpty()) {
            problem = tr("Type the stream's address.");
        } else if (liveSourceType(address.toStdString()) == LiveSourceType::unknown) {
            problem = tr("Not a source Prismeta can show: use srt://, udp://, rtp://, rtsp://, "
                         "http(s):// or the path of an .sdp file.");
        }
    }
    problem_->setText(problem);
    ok_->setEnabled(choice().has_value());
}

} // namespace prismeta
