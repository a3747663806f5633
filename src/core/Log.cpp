#include "core/Log.h"

#include <cstdio>
#include <string>
#include <utility>

namespace prismeta {

namespace {

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

std::string oneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // "\r\n" and runs of breaks collapse into one separator.
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
                ++i;
            }
            if (i + 1 < text.size()) {
                line += "; ";
            }
            continue;
        }
        line.push_back(c);
    }
    return line;
}

} // namespace

void logLine(std::string_view text) {
    const std::string line = oneLine(text);
    if (currentSink()) {
        currentSink()(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

ScopedLogSink::ScopedLogSink(LogSink sink) : previous_(std::move(currentSink())) {
    currentSink() = std::move(sink);
}

ScopedLogSink::~ScopedLogSink() {
    currentSink() = std::move(previous_);
}

} // namespace prismeta
