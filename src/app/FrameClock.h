#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <vector>

namespace prismeta {

// The one 60 Hz clock of every canvas view. A view asks for its next frame
// with requestFrame(); each tick schedules `update()` on every view that
// asked since the last tick, and forgets the requests. A view that animates
// (a video playing) asks again after every frame it draws; one that shows
// nothing new asks for nothing, and with no request anywhere the timer stops,
// so an unchanging project costs no frames at all. The views swap without
// waiting for vertical sync, so several windows on the one interface thread
// all keep 60 frames a second instead of dividing it between them.
//
// Ticks are placed on a fixed grid of 1/60 s (a precise timer re-aimed at the
// next grid point each tick), so the rate does not drift with the timer's
// millisecond resolution; the first request after a pause is served at once.
//
// Interface thread only. Views share the clock through `shared()`; it lives
// while anyone holds it, so no clock outlives the last view.
class FrameClock : public QObject {
    Q_OBJECT

public:
    static constexpr int framesPerSecond = 60;

    FrameClock();
    ~FrameClock() override;

    // The clock every canvas view uses; made on first use, gone once released.
    static std::shared_ptr<FrameClock> shared();

    // The views that draw by this clock (a view asks for frames only once
    // attached); a detached or deleted view's request is dropped.
    void attach(QWidget* view);
    void detach(QWidget* view);
    // Schedules one update() of the view at the next tick.
    void requestFrame(QWidget* view);

    int viewCount() const { return static_cast<int>(views_.size()); }
    bool isRunning() const { return timer_.isActive(); }
    // Ticks delivered so far (tests measure the rate with it).
    long long tickCount() const { return ticks_; }

signals:
    void ticked();

private:
    void tick();
    void schedule();

    QTimer timer_;
    std::vector<QPointer<QWidget>> views_;
    // Views waiting for the next tick, and the list a tick works through
    // (swapped, so a steady animation allocates nothing).
    std::vector<QPointer<QWidget>> requested_;
    std::vector<QPointer<QWidget>> ticking_;
    std::chrono::steady_clock::time_point last_{};
    long long ticks_ = 0;
};

} // namespace prismeta
