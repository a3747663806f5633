#include "core/Timecode.h"

#include <cstdio>

namespace prismeta {

std::string timecodeText(const Timecode& timecode) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", timecode.hours % 100,
                  timecode.minutes % 100, timecode.seconds % 100, timecode.frames % 100);
    return text;
}

std::optional<Timecode> parseTimecode(std::string_view text) {
    if (text.size() != 11 || text[2] != ':' || text[5] != ':' ||
        (text[8] != ':' && text[8] != ';')) {
        return std::nullopt;
    }
    int fields[4] = {};
    constexpr int limits[4] = {23, 59, 59, 29};
    for (int i = 0; i < 4; ++i) {
        const char high = text[static_cast<std::size_t>(i) * 3];
        const char low = text[static_cast<std::size_t>(i) * 3 + 1];
        if (high < '0' || high > '9' || low < '0' || low > '9') {
            return std::nullopt;
        }
        fields[i] = (high - '0') * 10 + (low - '0');
        if (fields[i] > limits[i]) {
            return std::nullopt;
        }
    }
    return Timecode{fields[0], fields[1], fields[2], fields[3]};
}

} // namespace prismeta
