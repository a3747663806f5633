#pragma once

#include <functional>
#include <string_view>

namespace prismeta {

// The system log: every line the system reports ("Prismeta: failed to load
// project: ...") goes through logLine, which writes it as one line on standard
// error. Line breaks inside the text are replaced by "; " so a message never
// spans lines. Main thread only.
void logLine(std::string_view text);

using LogSink = std::function<void(std::string_view line)>;

// Redirects log lines to sink (tests capture them this way) until the returned
// guard is destroyed, which restores the previous sink.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink sink);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink previous_;
};

} // namespace prismeta
