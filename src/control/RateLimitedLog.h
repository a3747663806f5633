#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// Log lines about ignored remote-control input, at most one per kind of
// problem per window: the first of a window is written at once with its
// details; the rest are counted, and when the window ends one line says how
// many more there were and what the last one was. A flood of bad packets so
// costs a line every `window`, however fast it comes.
//
// Interface thread only (it writes through logLine).
class RateLimitedLog {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration defaultWindow = std::chrono::seconds(2);

    static constexpr std::string_view oscPrefix = "Prismeta: OSC ignored ";

    explicit RateLimitedLog(Clock::duration window = defaultWindow,
                            std::string_view prefix = oscPrefix)
        : window_(window), prefix_(prefix) {}

    // `count` occurrences of one kind of problem; `details` says what and why
    // (the prefix is put in front), and when `count` is above 1
    // also how many, since the first line of a window stands for all of them.
    // The counts of a window's lines add up to the occurrences reported.
    void report(std::string_view kind, std::string details, Clock::time_point now,
                std::uint64_t count = 1);

    // Writes the summary lines of the windows that have ended.
    void update(Clock::time_point now);
    // When the next summary is due; nothing when none is waiting.
    std::optional<Clock::time_point> nextDue() const;

private:
    struct Window {
        Clock::time_point opened;
        std::uint64_t more = 0;
        std::string last;
    };

    Clock::duration window_;
    std::string prefix_;
    std::map<std::string, Window, std::less<>> windows_;
};

} // namespace prismeta
