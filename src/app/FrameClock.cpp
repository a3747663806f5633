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
    if (view == nullptr ||
        std::find(views_.begin(), views_.end(), QPointer<QWidget>(view)) != views_.end()) {
        return;
    }
    views_.emplace_back(view);
    if (!timer_.isActive()) {
        next_ = Clock::now();
        scheduleNext();
    }
}

void FrameClock::detach(QWidget* view) {
    std::erase_if(views_, [view](const QPointer<QWidget>& p) { return p.isNull() || p == view; });
    if (views_.empty()) {
        timer_.stop();
    }
}

void FrameClock::tick() {
    ++ticks_;
    std::erase_if(views_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    for (const QPointer<QWidget>& view : views_) {
        view->update();
    }
    emit ticked();
    if (!views_.empty()) {
        scheduleNext();
    }
}

void FrameClock::scheduleNext() {
    const Clock::time_point now = Clock::now();
    next_ += framePeriod;
    if (next_ <= now) {
        // Fell behind (a slow frame, a modal dialog): start a fresh grid
        // instead of firing a burst of ticks to catch up.
        next_ = now + framePeriod;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        next_ - now + std::chrono::microseconds(500));
    timer_.start(static_cast<int>(std::max<long long>(wait.count(), 0)));
}

} // namespace prismeta
