#include "core/LiveSource.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace prismeta {

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The scheme of "scheme://...", lower-cased; empty when there is none.
std::string scheme(std::string_view source) {
    const std::size_t colon = source.find("://");
    if (colon == std::string_view::npos || colon == 0 || colon > 8) {
        return {};
    }
    std::string name;
    for (char c : source.substr(0, colon)) {
        const char l = lower(c);
        if (l < 'a' || l > 'z') {
            return {};
        }
        name.push_back(l);
    }
    return name;
}

bool endsWithSdp(std::string_view path) {
    if (path.size() < 5) {
        return false;
    }
    const std::string_view tail = path.substr(path.size() - 4);
    return tail[0] == '.' && lower(tail[1]) == 's' && lower(tail[2]) == 'd' &&
           lower(tail[3]) == 'p';
}

// Query parameters whose values are secrets.
bool secretKey(std::string_view key) {
    static constexpr std::array<std::string_view, 3> secrets = {"passphrase", "password", "key"};
    std::string lowered(key);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower);
    return std::find(secrets.begin(), secrets.end(), lowered) != secrets.end();
}

} // namespace

LiveSourceType liveSourceType(std::string_view source) {
    if (source.empty() || source.find('\0') != std::string_view::npos) {
        return LiveSourceType::unknown;
    }
    const std::string name = scheme(source);
    if (name == "srt") {
        return LiveSourceType::srt;
    }
    if (name == "udp") {
        return LiveSourceType::udp;
    }
    if (name == "rtp") {
        return LiveSourceType::rtp;
    }
    if (name == "rtsp") {
        return LiveSourceType::rtsp;
    }
    if (name == "http" || name == "https") {
        return LiveSourceType::http;
    }
    if (!name.empty() || source.front() != '/') {
        return LiveSourceType::unknown;
    }
    if (startsWith(source, "/dev/")) {
        return LiveSourceType::captureDevice;
    }
    return endsWithSdp(source) ? LiveSourceType::sdpFile : LiveSourceType::unknown;
}

bool isLiveUrl(std::string_view source) {
    switch (liveSourceType(source)) {
    case LiveSourceType::srt:
    case LiveSourceType::udp:
    case LiveSourceType::rtp:
    case LiveSourceType::rtsp:
    case LiveSourceType::http:
        return true;
    case LiveSourceType::captureDevice:
    case LiveSourceType::sdpFile:
    case LiveSourceType::unknown:
        break;
    }
    return false;
}

std::string displayedLiveSource(std::string_view source) {
    if (!isLiveUrl(source)) {
        return std::string(source);
    }
    std::string shown;
    const std::size_t authority = source.find("://") + 3;
    shown.append(source.substr(0, authority));
    std::string_view rest = source.substr(authority);
    // user:password@host (udp://@:5000 names no user)
    const std::size_t hostEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::size_t at = rest.substr(0, hostEnd).rfind('@');
    if (at != std::string_view::npos && at > 0) {
        shown.append("***@");
        rest.remove_prefix(at + 1);
    }
    const std::size_t query = rest.find('?');
    shown.append(rest.substr(0, query));
    if (query == std::string_view::npos) {
        return shown;
    }
    shown.push_back('?');
    std::string_view params = rest.substr(query + 1);
    bool first = true;
    while (!params.empty()) {
        const std::size_t amp = params.find('&');
        const std::string_view param = params.substr(0, amp);
        params = amp == std::string_view::npos ? std::string_view() : params.substr(amp + 1);
        if (!first) {
            shown.push_back('&');
        }
        first = false;
        const std::size_t equals = param.find('=');
        if (equals != std::string_view::npos && secretKey(param.substr(0, equals))) {
            shown.append(param.substr(0, equals + 1));
            shown.append("***");
        } else {
            shown.append(param);
        }
    }
    return shown;
}

std::optional<std::pair<int, int>> parseLiveSize(std::string_view text) {
    const auto side = [](std::string_view digits) -> std::optional<int> {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        int value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (value < 1 || value > maxLiveSide) {
            return std::nullopt;
        }
        return value;
    };
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    const auto width = side(text.substr(0, x));
    const auto height = side(text.substr(x + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return std::pair{*width, *height};
}

std::string liveSizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

bool validLiveFormat(std::string_view text) {
    return !text.empty() && text.size() <= maxLiveFormatLength &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_';
           });
}

std::string liveOptionsText(const LiveOptions& options) {
    std::string text;
    const auto add = [&text](std::string part) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += part;
    };
    if (options.width && options.height) {
        add("size=" + liveSizeText(*options.width, *options.height));
    }
    if (options.fps) {
        // Shortest form, whatever the process's locale.
        char buffer[32];
        const auto written = std::to_chars(buffer, buffer + sizeof buffer, *options.fps);
        add("fps=" + std::string(buffer, written.ptr));
    }
    if (options.format) {
        add("format=" + *options.format);
    }
    if (options.latencyMs) {
        add("latency=" + std::to_string(*options.latencyMs));
    }
    return text;
}

std::string_view liveStateText(LiveStatus::State state) {
    switch (state) {
    case LiveStatus::State::waiting:
        return "waiting";
    case LiveStatus::State::connected:
        return "connected";
    case LiveStatus::State::lost:
        return "lost";
    }
    return "waiting";
}

} // namespace prismeta
