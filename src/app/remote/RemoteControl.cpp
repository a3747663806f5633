#include "app/remote/RemoteControl.h"

#include "app/ModelAdapter.h"
#include "control/OscController.h"
#include "control/OscInbox.h"
#include "core/Log.h"
#include "media/LiveSources.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace prismeta {

namespace {

using Clock = std::chrono::steady_clock;

// Messages taken off the queue at a time, between looks at the clock.
constexpr std::size_t takeAtOnce = 16;

// The show clock: the real-time clock, which chrony or PTP keep in step
// between machines, in microseconds since 1970.
std::int64_t showClockMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

RemoteControl::RemoteControl(ModelAdapter& adapter, QObject* parent)
    : QObject(parent), adapter_(adapter) {
    // Called on the server's thread; the queued call runs drain() here, or
    // is dropped if this object is gone by then.
    inbox_ = std::make_unique<OscInbox>([this] {
        QMetaObject::invokeMethod(
            this, [this] { drain(); }, Qt::QueuedConnection);
    });
    continuation_.setSingleShot(true);
    continuation_.setInterval(0);
    connect(&continuation_, &QTimer::timeout, this, &RemoteControl::drain);
    due_.setSingleShot(true);
    connect(&due_, &QTimer::timeout, this, &RemoteControl::refresh);
    scheduled_.setSingleShot(true);
    scheduled_.setTimerType(Qt::PreciseTimer);
    connect(&scheduled_, &QTimer::timeout, this, &RemoteControl::runScheduled);
    // Changes from the editor, the inspector or undo reach subscribers too.
    connect(&adapter_, &ModelAdapter::changed, this, &RemoteControl::refresh);
}

RemoteControl::~RemoteControl() {
    stop();
}

void RemoteControl::setCueRunner(CueRunner* runner) {
    cueRunner_ = runner;
    if (controller_) {
        controller_->setCueRunner(runner);
    }
}

Status RemoteControl::start(const OscServerConfig& config, Origin origin) {
    stop();
    origin_ = origin;
    Result<std::unique_ptr<OscServer>> server = OscServer::start(config, *inbox_);
    if (!server) {
        logLine("Prismeta: OSC could not listen on " + server.error());
        return Status::failure(server.error());
    }
    controller_ = std::make_unique<OscController>(adapter_.model(), [this](const OscOutgoing& m) {
        if (server_) {
            server_->send(m);
        }
    });
    controller_->setCueRunner(cueRunner_);
    controller_->refuseEdits(editsRefused_);
    controller_->setShowInputs(showInputs_);
    // A live surface's status as the windows that show its source see it.
    controller_->setLiveStatus([](const Surface& surface) -> std::optional<LiveStatus> {
        if (!surface.mediaPath) {
            return std::nullopt;
        }
        return LiveSources::status(*surface.mediaPath, surface.liveOptions);
    });
    server_ = std::move(server.value());
    logLine("Prismeta: OSC listening on " + server_->host() + ":" +
            std::to_string(server_->port()));
    return Status::success();
}

void RemoteControl::refuseEdits(std::optional<std::string> why) {
    editsRefused_ = std::move(why);
    if (controller_) {
        controller_->refuseEdits(editsRefused_);
    }
}

void RemoteControl::setShowInputs(OscController::ShowInputs inputs) {
    showInputs_ = std::move(inputs);
    if (controller_) {
        controller_->setShowInputs(showInputs_);
    }
}

void RemoteControl::stop() {
    server_.reset(); // joins the receiving thread: nothing arrives after this
    controller_.reset();
    continuation_.stop();
    due_.stop();
    scheduled_.stop();
    schedule_ = OscSchedule();
    // What was still waiting is not carried out.
    std::vector<OscMessage> leftover;
    while (inbox_->take(maxBatch, leftover)) {
        leftover.clear();
    }
}

std::uint16_t RemoteControl::port() const {
    return server_ ? server_->port() : 0;
}

std::string RemoteControl::host() const {
    return server_ ? server_->host() : std::string();
}

std::size_t RemoteControl::queueHighWater() const {
    return inbox_->highWater();
}

void RemoteControl::drain() {
    if (!controller_) {
        return;
    }
    const Clock::time_point started = Clock::now();
    std::vector<OscMessage> batch;
    batch.reserve(takeAtOnce);
    std::size_t count = 0;
    bool more = true;
    while (more && count < maxBatch) {
        batch.clear();
        more = inbox_->take(std::min(takeAtOnce, maxBatch - count), batch);
        holdScheduled(batch);
        controller_->handleBatch(batch, Clock::now());
        count += batch.size();
        if (Clock::now() - started >= batchBudget) {
            break;
        }
    }
    handled_ += count;
    largestBatch_ = std::max(largestBatch_, count);
    const Clock::time_point now = Clock::now();
    controller_->reportUnreadable(server_->takeUnreadable(), now);
    controller_->reportOversize(server_->takeOversize(), now);
    controller_->reportDropped(inbox_->takeDrops(), now);
    if (more) {
        continuation_.start(); // the rest on a later turn of the event loop
    }
    refresh();
    emit batchHandled(count);
}

void RemoteControl::holdScheduled(std::vector<OscMessage>& batch) {
    const std::int64_t now = showClockMicros();
    const Clock::time_point logNow = Clock::now();
    const std::size_t heldBefore = schedule_.size();
    std::erase_if(batch, [&](OscMessage& message) {
        return schedule_.admit(message, now, logNow) == OscSchedule::Admission::held;
    });
    if (schedule_.size() != heldBefore) {
        runScheduled();
    }
}

void RemoteControl::runScheduled() {
    if (!controller_) {
        return;
    }
    std::vector<OscMessage> due;
    schedule_.takeDue(showClockMicros(), due);
    if (!due.empty()) {
        controller_->handleBatch(due, Clock::now());
        refresh();
    }
    schedule_.updateLog(Clock::now());
    const std::optional<std::int64_t> next = schedule_.nextDueMicros();
    if (!next) {
        scheduled_.stop();
        return;
    }
    // Rounded up: a timer that fires early only waits again.
    const std::int64_t waitMicros = std::max<std::int64_t>(*next - showClockMicros(), 0);
    scheduled_.start(static_cast<int>((waitMicros + 999) / 1000));
}

void RemoteControl::refresh() {
    if (!controller_) {
        return;
    }
    controller_->update(Clock::now());
    scheduleDue();
}

void RemoteControl::scheduleDue() {
    const std::optional<Clock::time_point> due = controller_->nextDue();
    if (!due) {
        due_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
    due_.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)));
}

} // namespace prismeta
