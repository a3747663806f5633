#include "control/RateLimitedLog.h"

#include "core/Log.h"

#include <utility>

namespace prismeta {

void RateLimitedLog::report(std::string_view kind, std::string details, Clock::time_point now,
                            std::uint64_t count) {
    if (count == 0) {
        return;
    }
    update(now);
    auto window = windows_.find(kind);
    if (window == windows_.end()) {
        // The line stands for all `count` of them (details of several state
        // their number), so none is left over for the summary.
        logLine(prefix_ + details);
        windows_.emplace(std::string(kind), Window{now, 0, std::move(details)});
        return;
    }
    window->second.more += count;
    window->second.last = std::move(details);
}

void RateLimitedLog::update(Clock::time_point now) {
    for (auto window = windows_.begin(); window != windows_.end();) {
        if (now - window->second.opened < window_) {
            ++window;
            continue;
        }
        if (window->second.more == 0) {
            window = windows_.erase(window);
            continue;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(window_).count();
        logLine(prefix_ + std::to_string(window->second.more) + " more in the last " +
                std::to_string(seconds) + " s like this one: " + window->second.last);
        // A new window starts with the summary, so a steady flood gives one
        // line per window.
        window->second.opened = now;
        window->second.more = 0;
        ++window;
    }
}

std::optional<RateLimitedLog::Clock::time_point> RateLimitedLog::nextDue() const {
    std::optional<Clock::time_point> due;
    for (const auto& [kind, window] : windows_) {
        const Clock::time_point end = window.opened + window_;
        if (!due || end < *due) {
            due = end;
        }
    }
    return due;
}

} // namespace prismeta
