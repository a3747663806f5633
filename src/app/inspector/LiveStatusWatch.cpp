#include "app/inspector/LiveStatusWatch.h"

#include "app/ModelAdapter.h"
#include "core/ProjectModel.h"
#include "media/LiveSources.h"

#include <cmath>

namespace prismeta {

namespace {

std::optional<LiveStatus> openSourceStatus(const Surface& surface) {
    if (!surface.mediaPath) {
        return std::nullopt;
    }
    return LiveSources::status(*surface.mediaPath, surface.liveOptions);
}

// Whether a lost source's last picture is still shown.
bool holdsLastPicture(const LiveStatus& status) {
    return status.pictureAge && *status.pictureAge <= LiveSources::holdSeconds();
}

bool sameReading(const LiveStatus& a, const LiveStatus& b) {
    // Rates as the indicator shows them, in whole pictures a second.
    return a.state == b.state && std::lround(a.fps) == std::lround(b.fps) && a.lost == b.lost &&
           a.notShown == b.notShown && a.portTaken == b.portTaken &&
           holdsLastPicture(a) == holdsLastPicture(b);
}

} // namespace

LiveStatusWatch::LiveStatusWatch(const ProjectModel& model, QObject* parent)
    : QObject(parent), model_(model), probe_(openSourceStatus) {
    timer_.setInterval(interval);
    connect(&timer_, &QTimer::timeout, this, &LiveStatusWatch::poll);
}

void LiveStatusWatch::setProbe(Probe probe) {
    probe_ = std::move(probe);
    poll();
}

void LiveStatusWatch::refresh(const ModelChanges& changes) {
    if (changes.has(ModelField::surfaces)) {
        poll();
    }
}

void LiveStatusWatch::poll() {
    std::unordered_map<Uuid, LiveStatus> now;
    for (const Surface& surface : model_.surfaces()) {
        if (surface.mediaKind == MediaKind::live && surface.mediaPath &&
            !surface.mediaPath->empty()) {
            now.emplace(surface.id, probe_ ? probe_(surface).value_or(LiveStatus{}) : LiveStatus{});
        }
    }
    bool differs = now.size() != statuses_.size();
    for (auto it = now.begin(); !differs && it != now.end(); ++it) {
        const auto before = statuses_.find(it->first);
        differs = before == statuses_.end() || !sameReading(before->second, it->second);
    }
    statuses_ = std::move(now);
    if (statuses_.empty()) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
    if (differs) {
        emit changed();
    }
}

std::optional<LiveStatus> LiveStatusWatch::status(const Uuid& surface) const {
    const auto found = statuses_.find(surface);
    if (found == statuses_.end()) {
        return std::nullopt;
    }
    return found->second;
}

QString liveStatusText(const LiveStatus& status) {
    switch (status.state) {
    case LiveStatus::State::waiting:
        return status.portTaken ? QObject::tr("Waiting: its port is taken by another program")
                                : QObject::tr("Waiting for the source");
    case LiveStatus::State::lost:
        return holdsLastPicture(status) ? QObject::tr("Lost: holding its last picture")
                                        : QObject::tr("Lost: showing the placeholder");
    case LiveStatus::State::connected:
        break;
    }
    QString text = QObject::tr("Connected, %1 fps").arg(std::lround(status.fps));
    if (status.lost > 0) {
        text += QObject::tr(", %1 lost").arg(status.lost);
    }
    if (status.notShown > 0) {
        text += QObject::tr(", %1 not shown").arg(status.notShown);
    }
    return text;
}

} // namespace prismeta
