#pragma once

#include "control/OscMessage.h"
#include "control/RateLimitedLog.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace prismeta {

// An OSC time tag (seconds since 1900 and a binary fraction) as microseconds
// of the show clock (the real-time clock, since 1970); nothing for the tag
// that means "at once" (0 seconds, fraction 1).
std::optional<std::int64_t> oscTimeTagMicros(std::uint32_t seconds, std::uint32_t fraction);

// Messages of bundles whose time tag lies ahead, held until the show clock
// reaches it, so a desk can schedule changes as a show schedules a GO. A tag
// more than maxAhead ahead is carried out at once with a log line (a sender's
// clock badly off, or a tag meant for another clock), as is everything once
// maxHeld messages wait, so a sender cannot fill memory with the future.
// Equal times keep their order of arrival.
//
// Interface thread only (it logs).
class OscSchedule {
public:
    static constexpr std::int64_t maxAheadMicros = 60'000'000;
    static constexpr std::size_t maxHeld = 4096;

    enum class Admission { now, held };

    // `now` for a message to carry out at once (no tag, a tag due already,
    // too far ahead, or no room), `held` when the schedule keeps it.
    Admission admit(OscMessage& message, std::int64_t nowMicros,
                    RateLimitedLog::Clock::time_point logNow);
    // Moves the held messages whose time has come to the end of `out`,
    // earliest first.
    void takeDue(std::int64_t nowMicros, std::vector<OscMessage>& out);
    std::optional<std::int64_t> nextDueMicros() const;
    std::size_t size() const { return held_.size(); }

    void updateLog(RateLimitedLog::Clock::time_point now) { log_.update(now); }

private:
    std::multimap<std::int64_t, OscMessage> held_;
    RateLimitedLog log_{RateLimitedLog::defaultWindow, "Prismeta: OSC "};
};

} // namespace prismeta
