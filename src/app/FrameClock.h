#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <vector>

namespace prismeta {

// The one 60 Hz clock of every canvas view. Each tick schedules `update()`
// on every attached view; the views swap without waiting for vertical sync,
// so several windows on the one interface thread all keep 60 frames a second
// instead of dividing it between them.
//
// Ticks are placed on a fixed grid of 1/60 s (a precise timer re-aimed at the
// next grid point each tick), so the rate does not drift with the timer's
// millisecond resolution. The timer runs only while a view is attached.
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

    void attach(QWidget* view);
    void detach(QWidget* view);

    int viewCount() const { return static_cast<int>(views_.size()); }
    bool isRunning() const { return timer_.isActive(); }
    // Ticks delivered so far (tests measure the rate with it).
    long long tickCount() const { return ticks_; }

signals:
    void ticked();

private:
    void tick();
    void scheduleNext();

    QTimer timer_;
    std::vector<QPointer<QWidget>> views_;
    std::chrono::steady_clock::time_point next_{};
    long long ticks_ = 0;
};

} // namespace prismeta
