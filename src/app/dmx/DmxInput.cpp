#include "app/dmx/DmxInput.h"

#include "app/ModelAdapter.h"
#include "app/cues/ShowCues.h"
#include "core/Log.h"
#include "dmx/LtcInput.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace prismeta {

namespace {

constexpr std::string_view dmxPrefix = "Prismeta: DMX ignored ";

// No receiver: every universe is silent, and the project shows as it is.
struct Silence final : UniverseSource {
    bool read(int, UniverseLevels&) const override { return false; }
};

} // namespace

DmxInput::DmxInput(ModelAdapter& adapter, ShowCues& show, QObject* parent)
    : QObject(parent), adapter_(adapter), show_(show), dmxShow_(adapter.model(), show.live()),
      log_(RateLimitedLog::defaultWindow, dmxPrefix) {
    dmxShow_.setCueRunner(&show_.runner());
    dmxShow_.setVideos(show_.videos());
    ticker_.setInterval(1000 / 60);
    ticker_.setTimerType(Qt::PreciseTimer);
    connect(&ticker_, &QTimer::timeout, this, &DmxInput::apply);
    logTimer_.setSingleShot(true);
    connect(&logTimer_, &QTimer::timeout, this, &DmxInput::reportDrops);
    connect(&adapter_, &ModelAdapter::changed, this, &DmxInput::onModelChanged);
}

DmxInput::~DmxInput() {
    stopTimecode();
    stop();
}

Status DmxInput::start(const DmxReceiverConfig& config, Origin origin) {
    stop();
    origin_ = origin;
    // Called on the receiving thread; the queued call runs apply() here, or
    // is dropped if this object is gone by then.
    Result<std::unique_ptr<DmxReceiver>> receiver = DmxReceiver::start(config, [this] {
        QMetaObject::invokeMethod(
            this, [this] { apply(); }, Qt::QueuedConnection);
    });
    if (!receiver) {
        logLine("Prismeta: DMX could not listen: " + receiver.error() +
                "; the show runs without DMX input");
        return Status::failure(receiver.error());
    }
    receiver_ = std::move(receiver.value());
    receiver_->setUniverses(dmxShow_.universes());
    std::string line = "Prismeta: DMX listening on " + config.address;
    if (receiver_->artNetPort() != 0) {
        line += ", Art-Net port " + std::to_string(receiver_->artNetPort());
    }
    if (receiver_->sacnPort() != 0) {
        line += ", sACN port " + std::to_string(receiver_->sacnPort());
    }
    logLine(line);
    return Status::success();
}

void DmxInput::stop() {
    receiver_.reset(); // joins the thread: nothing arrives after this
    apply();           // the universes go silent: back to the project's look
    reportDrops();
}

Status DmxInput::startTimecode(TimecodeSource source, const std::string& ltcInput,
                               int freewheelFrames) {
    stopTimecode();
    timecodeSource_ = source;
    if (source == TimecodeSource::ltc) {
        Result<std::unique_ptr<LtcInput>> input = LtcInput::start(ltcInput, [this] {
            QMetaObject::invokeMethod(
                this, [this] { apply(); }, Qt::QueuedConnection);
        });
        if (!input) {
            logLine("Prismeta: timecode: LTC cannot be read from " + input.error());
            return Status::failure(input.error());
        }
        ltc_ = std::move(input.value());
    } else if (!receiver_ || receiver_->artNetPort() == 0) {
        const std::string why = "Art-Net timecode needs DMX input with Art-Net on";
        logLine("Prismeta: timecode: " + why);
        return Status::failure(why);
    }
    chase_ = std::make_unique<TimecodeChase>(show_.runner(), adapter_.model());
    chase_->setFreewheelFrames(freewheelFrames);
    logLine(std::string("Prismeta: chasing timecode from ") +
            (source == TimecodeSource::ltc ? "LTC on " + ltcInput : std::string("Art-Net")));
    return Status::success();
}

void DmxInput::stopTimecode() {
    ltc_.reset();
    chase_.reset();
}

std::vector<DmxSourceStatus> DmxInput::sources() const {
    return receiver_ ? receiver_->status(DmxReceiver::now()) : std::vector<DmxSourceStatus>{};
}

std::optional<TimecodeChase::Position> DmxInput::timecode() const {
    if (!chase_) {
        return std::nullopt;
    }
    return chase_->position(DmxReceiver::now());
}

QString DmxInput::timecodeText() const {
    const std::optional<TimecodeChase::Position> time = timecode();
    if (!time) {
        return {};
    }
    if (time->state == TimecodeChase::State::none) {
        return tr("Timecode: waiting");
    }
    const QString code = QString::fromStdString(prismeta::timecodeText(time->timecode));
    const QString rate = QString::fromUtf8(rateName(time->rate).data(),
                                           static_cast<qsizetype>(rateName(time->rate).size()));
    switch (time->state) {
    case TimecodeChase::State::freewheeling:
        return tr("Timecode: %1 at %2 fps (freewheeling)").arg(code, rate);
    case TimecodeChase::State::stopped:
        return tr("Timecode: %1 at %2 fps (stopped)").arg(code, rate);
    default:
        return tr("Timecode: %1 at %2 fps").arg(code, rate);
    }
}

void DmxInput::onModelChanged(const ModelChanges& changes) {
    if (!changes.has(ModelField::surfaces) && !changes.has(ModelField::documentURL) &&
        !changes.has(ModelField::cues)) {
        return;
    }
    dmxShow_.modelChanged();
    if (receiver_) {
        receiver_->setUniverses(dmxShow_.universes());
    }
    apply();
}

void DmxInput::apply() {
    const double now = DmxReceiver::now();
    bool changed = false;
    if (receiver_) {
        receiver_->rearm();
        if (chase_ && timecodeSource_ == TimecodeSource::artNet) {
            if (const std::optional<TimecodeReading> code = receiver_->takeTimecode()) {
                chase_->receive(code->timecode, code->rate, code->arrived);
            }
        }
        reportDrops();
    }
    if (chase_ && ltc_) {
        if (const std::optional<TimecodeReading> code = ltc_->take()) {
            chase_->receive(code->timecode, code->rate, code->arrived);
        }
    }
    if (chase_) {
        chase_->tick(now);
    }
    if (receiver_) {
        changed = dmxShow_.apply(*receiver_, now);
    } else {
        changed = dmxShow_.apply(Silence{}, now);
    }
    if (changed) {
        show_.liveChanged();
        emit liveChanged();
    }
    const bool moving = dmxShow_.fading(now) || (chase_ && chase_->moving(now));
    if (moving && !ticker_.isActive()) {
        ticker_.start();
    } else if (!moving && ticker_.isActive()) {
        ticker_.stop();
    }
}

void DmxInput::reportDrops() {
    const auto now = RateLimitedLog::Clock::now();
    if (receiver_) {
        for (DmxReceiver::Drop& drop : receiver_->takeDrops()) {
            log_.report(drop.kind,
                        drop.count > 1 ? drop.details + " (and " + std::to_string(drop.count - 1) +
                                             " more like it)"
                                       : drop.details,
                        now, drop.count);
        }
    }
    log_.update(now);
    if (const auto due = log_.nextDue()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
        logTimer_.start(
            static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)));
    }
}

} // namespace prismeta
