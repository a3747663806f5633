#include "cluster/VideoStartSync.h"

#include "media/PlaybackClock.h"

#include <cmath>
#include <cstdlib>
#include <unordered_map>

namespace prismeta {

void putVideoStarts(ShowStateMessage& message, const SurfaceList& surfaces, ClockReading now) {
    // A start read again converts to within microseconds of what was sent:
    // what was sent stays, so an unchanged start is not sent again.
    const std::map<Uuid, std::int64_t> sent = std::move(message.videoStarts);
    message.videoStarts.clear();
    message.videoMedia.clear();
    const std::vector<PlaybackClock::Started> started = PlaybackClock::snapshot();
    if (started.empty()) {
        return;
    }
    std::unordered_map<Uuid, const Surface*> byID;
    byID.reserve(surfaces.size());
    for (const Surface& surface : surfaces) {
        byID.emplace(surface.id, &surface);
    }
    for (const PlaybackClock::Started& playback : started) {
        const auto surface = byID.find(playback.surface);
        if (surface == byID.end() || !std::isfinite(playback.hostStart) ||
            mediaSignature(*surface->second) != playback.signature) {
            continue; // a surface gone, or media it no longer shows
        }
        std::int64_t start = now.toShow(playback.hostStart);
        if (const auto before = sent.find(playback.surface);
            before != sent.end() && std::llabs(before->second - start) < 1000) {
            start = before->second;
        }
        message.videoStarts[playback.surface] = start;
        message.videoMedia[playback.surface] = playback.signature;
    }
}

void FollowedVideoStarts::apply(const ShowStateMessage& message, ClockReading now) {
    for (const auto& [surface, start] : message.videoStarts) {
        const auto media = message.videoMedia.find(surface);
        if (media == message.videoMedia.end()) {
            continue;
        }
        auto& applied = applied_[surface];
        if (applied.first == media->second && applied.second == start) {
            continue;
        }
        applied = {media->second, start};
        PlaybackClock::startAt(surface, media->second, now.toSteady(start));
    }
}

} // namespace prismeta
