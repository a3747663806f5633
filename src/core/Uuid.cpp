#include "core/Uuid.h"

#include "core/HexDigit.h"

#include <uuid/uuid.h>

namespace prismeta {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isHyphenPosition(std::size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

} // namespace

Uuid Uuid::random() {
    uuid_t raw;
    uuid_generate_random(raw);
    Bytes bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = raw[i];
    }
    return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    Bytes bytes{};
    std::size_t nibble = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            continue;
        }
        const int value = hexDigitValue(text[i]);
        if (value < 0) {
            return std::nullopt;
        }
        std::uint8_t& byte = bytes[nibble / 2];
        byte = static_cast<std::uint8_t>(nibble % 2 == 0 ? value << 4 : byte | value);
        ++nibble;
    }
    return Uuid(bytes);
}

std::string Uuid::text() const {
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out.push_back('-');
        }
        out.push_back(kHexDigits[bytes_[i] >> 4]);
        out.push_back(kHexDigits[bytes_[i] & 0x0F]);
    }
    return out;
}

bool Uuid::isNil() const {
    for (std::uint8_t b : bytes_) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

} // namespace prismeta
