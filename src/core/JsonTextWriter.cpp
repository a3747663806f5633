#include "core/JsonTextWriter.h"

#include "core/Utf8Sequence.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>

namespace prismeta {

namespace {

constexpr std::string_view spaces = "                                                            "
                                    "                                                            ";

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
    if (compact_) {
        return;
    }
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
    out_ += compact_ ? "\":" : "\": ";
}

bool JsonTextWriter::textKey(std::string_view name) {
    separate();
    const bool valid = text(name);
    out_ += compact_ ? ":" : ": ";
    return valid;
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
            const std::size_t length = utf8SequenceLength(text.substr(i));
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
