#pragma once

#include "core/LiveSource.h"
#include "core/Uuid.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <unordered_map>

namespace prismeta {

class ModelChanges;
class ProjectModel;
struct Surface;

// How the project's live sources are doing, for the inspector's indicators:
// read every `interval` while any surface shows a live source (the timer
// stops when none does). Reading a status takes a lock of the media
// library's and nothing more: the sources are opened by the windows that
// show them, never by the inspector.
//
// Interface thread only. Borrows the model, which must outlive it; the
// inspector calls refresh() on every model change.
class LiveStatusWatch : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds interval{500};
    // A surface's live status; none where no window has its source open.
    using Probe = std::function<std::optional<LiveStatus>(const Surface&)>;

    explicit LiveStatusWatch(const ProjectModel& model, QObject* parent = nullptr);

    // Where the statuses come from (the media library's live sources unless
    // a test says otherwise); read again at once.
    void setProbe(Probe probe);
    void refresh(const ModelChanges& changes);
    // Reads every live surface's status now.
    void poll();
    bool polling() const { return timer_.isActive(); }

    // The surface's status as last read; none for a surface that shows no
    // live source. A source no window has open reads as waiting.
    std::optional<LiveStatus> status(const Uuid& surface) const;

signals:
    // A live surface's state, rate, lost or not-shown count differs from the last
    // reading, or live surfaces came or went.
    void changed();

private:
    const ProjectModel& model_;
    Probe probe_;
    QTimer timer_;
    std::unordered_map<Uuid, LiveStatus> statuses_;
};

// What the indicators say of a status: "Waiting for the source", "Lost:
// holding its last picture" (for the hold time), "Lost: showing the
// placeholder", "Connected, 30 fps".
QString liveStatusText(const LiveStatus& status);

} // namespace prismeta
