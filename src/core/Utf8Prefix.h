#pragma once

#include <cstddef>
#include <string_view>

namespace prismeta {

// The longest start of text of at most maxBytes bytes that does not end
// inside a UTF-8 sequence: a name cut to a length never keeps half a
// character.
constexpr std::string_view utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    // Back up over continuation bytes (10xxxxxx) to a character's start.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

} // namespace prismeta
