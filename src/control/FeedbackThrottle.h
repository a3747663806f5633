#pragma once

#include "control/OscMessage.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace prismeta {

// Holds feedback to each subscriber to at most 60 messages a second per
// address. A change that comes sooner than 1/60 s after the last one sent on
// its address waits, replaced by any newer change of the same address, and
// goes out when its time comes: a sweep reaches the subscriber thinned out,
// but always ending on the final value.
//
// A unit may be several messages sent together (the surface list is one
// message per surface); it is throttled as one.
//
// Interface thread only. Sends through the function it is given.
class FeedbackThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void(const OscOutgoing&)>;
    static constexpr Clock::duration interval = std::chrono::microseconds(1'000'000 / 60);

    explicit FeedbackThrottle(Send send) : send_(std::move(send)) {}

    // One unit for one subscriber, throttled by (subscriber, key).
    void offer(const OscEndpoint& to, const std::string& key, std::vector<OscOutgoing> unit,
               Clock::time_point now);
    // Sends what has waited long enough, and forgets addresses gone quiet.
    void update(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;
    // Drops everything waiting for a subscriber that has left.
    void forget(const OscEndpoint& to);

private:
    struct Slot {
        Clock::time_point lastSent;
        std::optional<std::vector<OscOutgoing>> waiting;
    };

    void sendUnit(const std::vector<OscOutgoing>& unit) const;

    Send send_;
    std::map<std::pair<OscEndpoint, std::string>, Slot> slots_;
};

} // namespace prismeta
