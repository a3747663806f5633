#pragma once

#include <cstdint>
#include <string_view>

namespace prismeta {

// The value of a JSON number token taken exactly as written, for counts that
// must be whole 64-bit integers. A double cannot tell 9223372036854775807.0
// from 2^63, nor -9223372036854775809 from -2^63, so the digits themselves are
// judged: the token is whole when no digit other than 0 stands after the
// decimal point once the exponent is applied, and it fits when that whole
// value lies in [-2^63, 2^63). "3.0", "1e2" and "1.5e1" are whole; "3.5",
// "1e-400" and "3.0000000000000000001" are not.
struct WholeNumberToken {
    enum class Kind { whole, notWhole, outOfRange };
    Kind kind = Kind::notWhole;
    std::int64_t value = 0; // when whole

    // Any text that is not a JSON number reads as notWhole.
    static WholeNumberToken read(std::string_view token);
};

} // namespace prismeta
