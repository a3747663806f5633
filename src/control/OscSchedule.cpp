#include "control/OscSchedule.h"

#include <string>
#include <utility>

namespace prismeta {

std::optional<std::int64_t> oscTimeTagMicros(std::uint32_t seconds, std::uint32_t fraction) {
    if (seconds == 0 && fraction == 1) {
        return std::nullopt;
    }
    // 70 years (17 of them leap) between 1900 and 1970.
    constexpr std::int64_t unixEpoch = 2'208'988'800;
    const std::int64_t micros =
        static_cast<std::int64_t>((std::uint64_t{fraction} * 1'000'000) >> 32);
    return (static_cast<std::int64_t>(seconds) - unixEpoch) * 1'000'000 + micros;
}

OscSchedule::Admission OscSchedule::admit(OscMessage& message, std::int64_t nowMicros,
                                          RateLimitedLog::Clock::time_point logNow) {
    if (!message.dueMicros || *message.dueMicros <= nowMicros) {
        return Admission::now;
    }
    const std::int64_t ahead = *message.dueMicros - nowMicros;
    if (ahead > maxAheadMicros) {
        log_.report("time tag",
                    "time tag of " + message.address + " " + std::to_string(ahead / 1'000'000) +
                        " s ahead (over 60 s): carried out at once",
                    logNow);
        return Admission::now;
    }
    if (held_.size() >= maxHeld) {
        log_.report("schedule full",
                    "schedule holds " + std::to_string(maxHeld) + " messages: " + message.address +
                        " carried out at once",
                    logNow);
        return Admission::now;
    }
    held_.emplace(*message.dueMicros, std::move(message));
    return Admission::held;
}

void OscSchedule::takeDue(std::int64_t nowMicros, std::vector<OscMessage>& out) {
    auto it = held_.begin();
    while (it != held_.end() && it->first <= nowMicros) {
        out.push_back(std::move(it->second));
        it = held_.erase(it);
    }
}

std::optional<std::int64_t> OscSchedule::nextDueMicros() const {
    if (held_.empty()) {
        return std::nullopt;
    }
    return held_.begin()->first;
}

} // namespace prismeta
