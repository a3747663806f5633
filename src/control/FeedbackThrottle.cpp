#include "control/FeedbackThrottle.h"

namespace prismeta {

void FeedbackThrottle::sendUnit(const std::vector<OscOutgoing>& unit) const {
    for (const OscOutgoing& message : unit) {
        send_(message);
    }
}

void FeedbackThrottle::offer(const OscEndpoint& to, const std::string& key,
                             std::vector<OscOutgoing> unit, Clock::time_point now) {
    auto [slot, made] = slots_.try_emplace({to, key});
    if (made || now - slot->second.lastSent >= interval) {
        sendUnit(unit);
        slot->second.lastSent = now;
        slot->second.waiting.reset();
        return;
    }
    slot->second.waiting = std::move(unit);
}

void FeedbackThrottle::update(Clock::time_point now) {
    for (auto slot = slots_.begin(); slot != slots_.end();) {
        if (now - slot->second.lastSent < interval) {
            ++slot;
            continue;
        }
        if (!slot->second.waiting) {
            slot = slots_.erase(slot); // quiet: the next change goes out at once
            continue;
        }
        sendUnit(*slot->second.waiting);
        slot->second.waiting.reset();
        slot->second.lastSent = now;
        ++slot;
    }
}

std::optional<FeedbackThrottle::Clock::time_point> FeedbackThrottle::nextDue() const {
    std::optional<Clock::time_point> due;
    for (const auto& [key, slot] : slots_) {
        if (!slot.waiting) {
            continue;
        }
        const Clock::time_point at = slot.lastSent + interval;
        if (!due || at < *due) {
            due = at;
        }
    }
    return due;
}

void FeedbackThrottle::forget(const OscEndpoint& to) {
    std::erase_if(slots_, [&to](const auto& slot) { return slot.first.first == to; });
}

} // namespace prismeta
