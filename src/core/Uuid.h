#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta {

// A 128-bit identifier. New values are random (version 4, from libuuid). The
// text form is the 36-character hyphenated form in upper case; parsing accepts
// either letter case and nothing else.
class Uuid {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    // The nil identifier (all zero bits).
    constexpr Uuid() = default;
    constexpr explicit Uuid(const Bytes& bytes) : bytes_(bytes) {}

    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);

    std::string text() const;
    const Bytes& bytes() const { return bytes_; }
    bool isNil() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    Bytes bytes_{};
};

} // namespace prismeta

template <> struct std::hash<prismeta::Uuid> {
    std::size_t operator()(const prismeta::Uuid& id) const noexcept {
        // The bytes are random: folding them is a good hash.
        std::uint64_t lo = 0;
        std::uint64_t hi = 0;
        for (int i = 0; i < 8; ++i) {
            lo = (lo << 8) | id.bytes()[static_cast<std::size_t>(i)];
            hi = (hi << 8) | id.bytes()[static_cast<std::size_t>(i + 8)];
        }
        return static_cast<std::size_t>(lo ^ (hi * 0x9E3779B97F4A7C15ull));
    }
};
