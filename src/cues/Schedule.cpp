#include "cues/Schedule.h"

#include <charconv>
#include <ctime>

namespace prismeta {

namespace {

// Midnight's calendar fields of the local day `back` days before now.
std::tm localDay(std::int64_t now, int back) {
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm day{};
    localtime_r(&t, &day);
    day.tm_mday -= back;
    day.tm_hour = 12; // noon never falls in a change of the clocks
    day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    std::time_t noon = std::mktime(&day);
    localtime_r(&noon, &day);
    return day;
}

// The wall-clock time of secondOfDay on that local day. A time the clocks
// skip comes out as the same distance past the change; a repeated one as its
// first occurrence (summer time).
std::int64_t atLocalTime(const std::tm& day, int secondOfDay) {
    std::tm when = day;
    when.tm_hour = secondOfDay / 3600;
    when.tm_min = secondOfDay / 60 % 60;
    when.tm_sec = secondOfDay % 60;
    when.tm_isdst = -1;
    std::tm summer = when;
    summer.tm_isdst = 1;
    const std::time_t guess = std::mktime(&when);
    // mktime picks one of two readings of a repeated hour; the earlier one
    // is when the time first came.
    const std::time_t asSummer = std::mktime(&summer);
    std::tm check{};
    if (asSummer != static_cast<std::time_t>(-1) && asSummer < guess) {
        localtime_r(&asSummer, &check);
        if (check.tm_hour == secondOfDay / 3600 && check.tm_min == secondOfDay / 60 % 60) {
            return asSummer;
        }
    }
    return guess;
}

// The scheduled GO nearest to now within a week, in the past (later: false)
// or in the future (later: true), searched day by day away from now. Of two
// cues at one time, the later one in the list.
std::optional<ScheduledGo> nearestScheduledGo(const std::vector<Cue>& cues, std::int64_t now,
                                              bool later) {
    std::optional<ScheduledGo> best;
    constexpr std::int64_t week = 7 * 86400;
    for (int days = 0; days <= 7; ++days) {
        const std::tm day = localDay(now, later ? -days : days);
        const int weekday = (day.tm_wday + 6) % 7; // Monday first
        for (std::size_t i = 0; i < cues.size(); ++i) {
            const std::optional<CueSchedule>& schedule = cues[i].schedule;
            if (!schedule || !schedule->onWeekday(weekday)) {
                continue;
            }
            const std::int64_t at = atLocalTime(day, schedule->secondOfDay);
            const bool inWeek = later ? at > now && at <= now + week : at <= now && at > now - week;
            if (!inWeek) {
                continue;
            }
            if (!best || (later ? at <= best->at : at >= best->at)) {
                best = ScheduledGo{i, at};
            }
        }
        if (best) {
            break; // a day farther from now cannot hold a nearer time
        }
    }
    return best;
}

} // namespace

std::optional<ScheduledGo> lastScheduledGo(const std::vector<Cue>& cues, std::int64_t now) {
    return nearestScheduledGo(cues, now, false);
}

std::optional<ScheduledGo> nextScheduledGo(const std::vector<Cue>& cues, std::int64_t now) {
    return nearestScheduledGo(cues, now, true);
}

std::optional<std::int64_t> parseLocalDateTime(std::string_view text) {
    // YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS
    if (text.size() < 16 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ')) {
        return std::nullopt;
    }
    const auto number = [&text](std::size_t at, std::size_t length, int low, int high) {
        int value = -1;
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        if (error != std::errc() || end != first + length || value < low || value > high) {
            return -1;
        }
        return value;
    };
    const int year = number(0, 4, 1970, 9999);
    const int month = number(5, 2, 1, 12);
    const int day = number(8, 2, 1, 31);
    const std::optional<int> time = parseScheduleTime(text.substr(11));
    if (year < 0 || month < 0 || day < 0 || !time) {
        return std::nullopt;
    }
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = *time / 3600;
    when.tm_min = *time / 60 % 60;
    when.tm_sec = *time % 60;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    if (t == static_cast<std::time_t>(-1) || when.tm_mday != day) {
        return std::nullopt; // February 30th
    }
    return static_cast<std::int64_t>(t);
}

} // namespace prismeta
