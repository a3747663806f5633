#include "dmx/TimecodeChase.h"

#include "core/ProjectModel.h"
#include "cues/CueRunner.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

// Codes come every frame; one missing for longer than this starts the freewheel.
constexpr double missingFrames = 2.0;

} // namespace

TimecodeChase::TimecodeChase(CueRunner& runner, const ProjectModel& model)
    : runner_(runner), model_(model) {}

void TimecodeChase::setFreewheelFrames(int frames) {
    freewheel_ = std::clamp(frames, 0, 10000);
}

void TimecodeChase::receive(const Timecode& code, TimecodeRate rate, double at) {
    if (received_ && rate != rate_) {
        evaluated_.reset(); // another clock: where it stands is found anew
    }
    received_ = true;
    rate_ = rate;
    codeFrame_ = frameNumber(code, rate);
    codeAt_ = at;
    tick(at);
}

std::int64_t TimecodeChase::frameAt(double now, State& state) const {
    const double elapsed = std::max(0.0, (now - codeAt_) * framesPerSecond(rate_));
    if (elapsed < missingFrames) {
        state = State::running;
        return codeFrame_ + static_cast<std::int64_t>(elapsed);
    }
    if (elapsed < freewheel_) {
        state = State::freewheeling;
        return codeFrame_ + static_cast<std::int64_t>(elapsed);
    }
    state = State::stopped;
    return codeFrame_ + std::max(freewheel_, static_cast<int>(missingFrames) - 1);
}

TimecodeChase::Position TimecodeChase::position(double now) const {
    Position position;
    if (!received_) {
        return position;
    }
    const std::int64_t frame = frameAt(now, position.state);
    position.timecode = timecodeAt(frame, rate_);
    position.rate = rate_;
    return position;
}

bool TimecodeChase::moving(double now) const {
    State state = State::none;
    if (received_) {
        frameAt(now, state);
    }
    return state == State::running || state == State::freewheeling;
}

void TimecodeChase::tick(double now) {
    if (!received_ || runner_.adopted()) {
        return;
    }
    State state = State::none;
    const std::int64_t frame = frameAt(now, state);
    const auto second = static_cast<std::int64_t>(std::ceil(framesPerSecond(rate_)));
    if (!evaluated_ || std::llabs(frame - *evaluated_) > second) {
        jumpTo(frame);
    } else if (frame > *evaluated_) {
        runCues(*evaluated_, frame);
    }
    evaluated_ = frame;
}

std::optional<std::size_t> TimecodeChase::latestCue(std::optional<std::int64_t> from,
                                                    std::int64_t to) const {
    const std::vector<Cue>& cues = model_.cues();
    std::optional<std::size_t> latest;
    std::int64_t latestFrame = 0;
    for (std::size_t i = 0; i < cues.size(); ++i) {
        if (!cues[i].timecode) {
            continue;
        }
        const std::int64_t frame = frameNumber(*cues[i].timecode, rate_);
        if (frame > to || (from && frame <= *from)) {
            continue;
        }
        if (!latest || frame >= latestFrame) {
            latest = i;
            latestFrame = frame;
        }
    }
    return latest;
}

void TimecodeChase::runCues(std::int64_t from, std::int64_t to) {
    const std::optional<std::size_t> cue = latestCue(from, to);
    if (!cue || runner_.liveIndex() == cue) {
        return;
    }
    if (runner_.nextIndex() == cue) {
        runner_.go();
    } else {
        runner_.goTo(*cue);
    }
}

void TimecodeChase::jumpTo(std::int64_t frame) {
    const std::optional<std::size_t> cue = latestCue(std::nullopt, frame);
    if (cue && runner_.liveIndex() != cue) {
        runner_.goTo(*cue, 0.0);
    }
}

} // namespace prismeta
