#include "core/Cue.h"

#include <cstdio>

namespace prismeta {

Cue::Cue() : id(Uuid::random()) {}

std::string scheduleTimeText(int secondOfDay) {
    const int clamped = secondOfDay < 0 ? 0 : secondOfDay % 86400;
    char text[16];
    const int seconds = clamped % 60;
    if (seconds == 0) {
        std::snprintf(text, sizeof text, "%02d:%02d", clamped / 3600, clamped / 60 % 60);
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", clamped / 3600, clamped / 60 % 60,
                      seconds);
    }
    return text;
}

namespace {

// Two digits at text[at], no more than limit; -1 otherwise.
int twoDigits(std::string_view text, std::size_t at, int limit) {
    if (at + 2 > text.size()) {
        return -1;
    }
    const char high = text[at];
    const char low = text[at + 1];
    if (high < '0' || high > '9' || low < '0' || low > '9') {
        return -1;
    }
    const int value = (high - '0') * 10 + (low - '0');
    return value <= limit ? value : -1;
}

} // namespace

std::optional<int> parseScheduleTime(std::string_view text) {
    if (text.size() != 5 && text.size() != 8) {
        return std::nullopt;
    }
    const int hours = twoDigits(text, 0, 23);
    const int minutes = twoDigits(text, 3, 59);
    int seconds = 0;
    if (text[2] != ':' || hours < 0 || minutes < 0) {
        return std::nullopt;
    }
    if (text.size() == 8) {
        seconds = twoDigits(text, 6, 59);
        if (text[5] != ':' || seconds < 0) {
            return std::nullopt;
        }
    }
    return hours * 3600 + minutes * 60 + seconds;
}

} // namespace prismeta
