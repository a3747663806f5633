#include "render/ShowVideos.h"

#include "media/PlaybackClock.h"

namespace prismeta {

void ShowVideos::start(const Surface& surface, double showTime) {
    PlaybackClock::startAt(surface.id, mediaSignature(surface), showTime);
}

std::optional<double> ShowVideos::startOf(const Surface& surface) const {
    // A snapshot of every playback: this is asked only when a picture is
    // resumed, never per frame.
    const std::string signature = mediaSignature(surface);
    for (const PlaybackClock::Started& started : PlaybackClock::snapshot()) {
        if (started.surface == surface.id && started.signature == signature) {
            return started.hostStart;
        }
    }
    return std::nullopt;
}

CueVideos::Length ShowVideos::length(const std::string& path) const {
    const VideoLengths::Answer answer =
        lengths_.length(locations_ ? locations_->resolve(path) : path);
    switch (answer.state) {
    case VideoLengths::State::measuring:
        break;
    case VideoLengths::State::known:
        return {Length::State::known, answer.seconds};
    case VideoLengths::State::unplayable:
        return {Length::State::unplayable, 0.0};
    }
    return {};
}

} // namespace prismeta
