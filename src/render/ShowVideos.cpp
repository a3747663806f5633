#include "render/ShowVideos.h"

#include "media/PlaybackClock.h"

namespace prismeta {

void ShowVideos::start(const Surface& surface, double showTime) {
    PlaybackClock::startAt(surface.id, mediaSignature(surface), showTime);
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
