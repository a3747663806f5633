#include "core/JsonTextWriter.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>

namespace prismeta {

namespace {

constexpr std::string_view spaces = "                                                            "
                                    "                                                            ";

// Length of the well-formed UTF-8 sequence at the start of rest (whose first
// byte is not ASCII), or 0: the sequences the JSON library writes, no
// overlong forms, surrogates or code points beyond U+10FFFF.
std::size_t utf8Length(std::string_view rest) {
    const auto byte = [&rest](std::size_t i) -> unsigned {
        return i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0u;
    };
    const auto trail = [&byte](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    const unsigned lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) {
        return trail(1) ? 2 : 0;
    }
    if (lead == 0xE0) {
        return trail(1, 0xA0) && trail(2) ? 3 : 0;
    }
    if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
        return trail(1) && trail(2) ? 3 : 0;
    }
    if (lead == 0xED) {
        return trail(1, 0x80, 0x9F) && trail(2) ? 3 : 0;
    }
    if (lead == 0xF0) {
        return trail(1, 0x90) && trail(2) && trail(3) ? 4 : 0;
    }
    if (lead >= 0xF1 && lead <= 0xF3) {
        return trail(1) && trail(2) && trail(3) ? 4 : 0;
    }
    if (lead == 0xF4) {
        return trail(1, 0x80, 0x8F) && trail(2) && trail(3) ? 4 : 0;
    }
    return 0;
}

// The escape of an ASCII byte, or empty when it stands for itself.
std::string_view escapeOf(unsigned char c, std::array<char, 6>& scratch) {
    switch (c) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        break;
    }
    if (c > 0x1F) {
        return {};
    }
    constexpr char hex[] = "0123456789abcdef";
    scratch = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
    return {scratch.data(), scratch.size()};
}

} // namespace

void JsonTextWriter::begin(char bracket) {
    out_ += bracket;
    ++depth_;
    empty_ = true;
}

void JsonTextWriter::end(char bracket) {
    --depth_;
    if (!empty_) {
        newLine();
    }
    out_ += bracket;
    // The container just closed is a value of the one around it.
    empty_ = false;
}

void JsonTextWriter::separate() {
    if (!empty_) {
        out_ += ',';
    }
    newLine();
    empty_ = false;
}

void JsonTextWriter::newLine() {
    out_ += '\n';
    for (std::size_t left = static_cast<std::size_t>(depth_) * 2; left > 0;) {
        const std::size_t now = std::min(left, spaces.size());
        out_.append(spaces.data(), now);
        left -= now;
    }
}

void JsonTextWriter::key(std::string_view name) {
    separate();
    out_ += '"';
    out_ += name;
    out_ += "\": ";
}

void JsonTextWriter::number(double value) {
    // The library's own conversion, so that every double reads as it would
    // have been dumped.
    std::array<char, 64> buffer{};
    const char* end =
        nlohmann::detail::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out_.append(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
}

void JsonTextWriter::number(std::int64_t value) {
    std::array<char, 24> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out_.append(buffer.data(), static_cast<std::size_t>(written.ptr - buffer.data()));
}

bool JsonTextWriter::text(std::string_view text) {
    bool valid = true;
    out_ += '"';
    std::size_t plainFrom = 0;
    std::array<char, 6> scratch{};
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8Length(text.substr(i));
            valid = valid && length > 0;
            i += length > 0 ? length : 1;
            continue;
        }
        const std::string_view escape = escapeOf(c, scratch);
        if (escape.empty()) {
            ++i;
            continue;
        }
        out_.append(text.data() + plainFrom, i - plainFrom);
        out_ += escape;
        plainFrom = ++i;
    }
    out_.append(text.data() + plainFrom, text.size() - plainFrom);
    out_ += '"';
    return valid;
}

} // namespace prismeta
