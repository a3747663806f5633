#include "app/FrameClock.h"

#include <algorithm>

namespace prismeta {

namespace {

using Clock = std::chrono::steady_clock;

constexpr Clock::duration framePeriod =
    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / 60.0));

std::weak_ptr<FrameClock>& sharedClock() {
    static std::weak_ptr<FrameClock> clock;
    return clock;
}

} // namespace

FrameClock::FrameClock() {
    static_assert(framesPerSecond == 60);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FrameClock::tick);
}

FrameClock::~FrameClock() = default;

std::shared_ptr<FrameClock> FrameClock::shared() {
    std::shared_ptr<FrameClock> clock = sharedClock().lock();
    if (!clock) {
        clock = std::make_shared<FrameClock>();
        sharedClock() = clock;
    }
    return clock;
}

void FrameClock::attach(QWidget* view) {
    std::erase_if(views_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    if (view == nullptr ||
        std::find(views_.begin(), views_.end(), QPointer<QWidget>(view)) != views_.end()) {
        return;
    }
    views_.emplace_back(view);
}

void FrameClock::detach(QWidget* view) {
    const auto goneOrView = [view](const QPointer<QWidget>& p) { return p.isNull() || p == view; };
    std::erase_if(views_, goneOrView);
    std::erase_if(requested_, goneOrView);
    if (requested_.empty()) {
        timer_.stop();
    }
}

void FrameClock::requestFrame(QWidget* view) {
    const QPointer<QWidget> pointer(view);
    if (view == nullptr || std::find(views_.begin(), views_.end(), pointer) == views_.end() ||
        std::find(requested_.begin(), requested_.end(), pointer) != requested_.end()) {
        return;
    }
    requested_.push_back(pointer);
    if (!timer_.isActive()) {
        schedule();
    }
}

void FrameClock::tick() {
    ++ticks_;
    std::swap(requested_, ticking_);
    for (const QPointer<QWidget>& view : ticking_) {
        if (view) {
            view->update();
        }
    }
    ticking_.clear();
    emit ticked();
    // Views ask again while they paint; a request made meanwhile restarts
    // the timer on the grid.
    if (!requested_.empty() && !timer_.isActive()) {
        schedule();
    }
}

void FrameClock::schedule() {
    const Clock::time_point now = Clock::now();
    Clock::time_point due = last_ + framePeriod;
    if (due <= now) {
        // After a pause (or a slow frame, a modal dialog): serve at once and
        // start a fresh grid instead of firing a burst of ticks to catch up.
        due = now;
    }
    last_ = due;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        due - now + std::chrono::microseconds(500));
    timer_.start(static_cast<int>(std::max<long long>(wait.count(), 0)));
}

} // namespace prismeta
