#pragma once

#include <cstddef>
#include <string_view>

namespace prismeta {

// Length of the well-formed UTF-8 sequence at the start of rest (whose first
// byte is not ASCII), or 0: no overlong forms, surrogates or code points
// beyond U+10FFFF, as the JSON library decides when it reads or writes text.
constexpr std::size_t utf8SequenceLength(std::string_view rest) {
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

} // namespace prismeta
