#include "dmx/TimecodeRate.h"

#include <algorithm>

namespace prismeta {

namespace {

// Drop-frame: 17982 frames in ten minutes, 1798 in each minute but the first.
constexpr std::int64_t dropTenMinutes = 17982;
constexpr std::int64_t dropMinute = 1798;

} // namespace

int framesPerLabelSecond(TimecodeRate rate) {
    switch (rate) {
    case TimecodeRate::film24:
        return 24;
    case TimecodeRate::ebu25:
        return 25;
    case TimecodeRate::dropFrame2997:
    case TimecodeRate::smpte30:
        return 30;
    }
    return 30;
}

double framesPerSecond(TimecodeRate rate) {
    return rate == TimecodeRate::dropFrame2997 ? 30000.0 / 1001.0
                                               : static_cast<double>(framesPerLabelSecond(rate));
}

std::string_view rateName(TimecodeRate rate) {
    switch (rate) {
    case TimecodeRate::film24:
        return "24";
    case TimecodeRate::ebu25:
        return "25";
    case TimecodeRate::dropFrame2997:
        return "29.97df";
    case TimecodeRate::smpte30:
        return "30";
    }
    return "30";
}

std::optional<TimecodeRate> rateFromName(std::string_view name) {
    for (TimecodeRate rate : {TimecodeRate::film24, TimecodeRate::ebu25,
                              TimecodeRate::dropFrame2997, TimecodeRate::smpte30}) {
        if (rateName(rate) == name) {
            return rate;
        }
    }
    return std::nullopt;
}

bool existsAt(const Timecode& t, TimecodeRate rate) {
    if (t.hours < 0 || t.hours > 23 || t.minutes < 0 || t.minutes > 59 || t.seconds < 0 ||
        t.seconds > 59 || t.frames < 0 || t.frames >= framesPerLabelSecond(rate)) {
        return false;
    }
    return !(rate == TimecodeRate::dropFrame2997 && t.seconds == 0 && t.frames < 2 &&
             t.minutes % 10 != 0);
}

std::int64_t frameNumber(const Timecode& t, TimecodeRate rate) {
    const int perSecond = framesPerLabelSecond(rate);
    const std::int64_t frames = std::clamp(t.frames, 0, perSecond - 1);
    const std::int64_t seconds =
        (static_cast<std::int64_t>(t.hours) * 60 + t.minutes) * 60 + t.seconds;
    std::int64_t number = seconds * perSecond + frames;
    if (rate == TimecodeRate::dropFrame2997) {
        const std::int64_t minutes = static_cast<std::int64_t>(t.hours) * 60 + t.minutes;
        number -= 2 * (minutes - minutes / 10);
        if (t.seconds == 0 && frames < 2 && t.minutes % 10 != 0) {
            number += 2 - frames; // a skipped label: the first frame that exists
        }
    }
    return number;
}

std::int64_t framesPerDay(TimecodeRate rate) {
    if (rate == TimecodeRate::dropFrame2997) {
        return dropTenMinutes * 6 * 24;
    }
    return static_cast<std::int64_t>(framesPerLabelSecond(rate)) * 86400;
}

Timecode timecodeAt(std::int64_t frame, TimecodeRate rate) {
    const std::int64_t day = framesPerDay(rate);
    frame %= day;
    if (frame < 0) {
        frame += day;
    }
    if (rate == TimecodeRate::dropFrame2997) {
        const std::int64_t tens = frame / dropTenMinutes;
        const std::int64_t rest = frame % dropTenMinutes;
        frame += 18 * tens + (rest > 1 ? 2 * ((rest - 2) / dropMinute) : 0);
    }
    const int perSecond = framesPerLabelSecond(rate);
    Timecode t;
    t.frames = static_cast<int>(frame % perSecond);
    const std::int64_t seconds = frame / perSecond;
    t.seconds = static_cast<int>(seconds % 60);
    t.minutes = static_cast<int>(seconds / 60 % 60);
    t.hours = static_cast<int>(seconds / 3600 % 24);
    return t;
}

} // namespace prismeta
