#include "core/WholeNumberToken.h"

#include <algorithm>
#include <limits>

namespace prismeta {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

WholeNumberToken WholeNumberToken::read(std::string_view token) {
    using Kind = WholeNumberToken::Kind;
    std::size_t at = 0;
    const bool negative = at < token.size() && token[at] == '-';
    if (negative) {
        ++at;
    }
    const std::size_t integerStart = at;
    while (at < token.size() && isDigit(token[at])) {
        ++at;
    }
    const std::string_view integerDigits = token.substr(integerStart, at - integerStart);
    if (integerDigits.empty()) {
        return {};
    }
    std::string_view fractionDigits;
    if (at < token.size() && token[at] == '.') {
        const std::size_t fractionStart = ++at;
        while (at < token.size() && isDigit(token[at])) {
            ++at;
        }
        fractionDigits = token.substr(fractionStart, at - fractionStart);
        if (fractionDigits.empty()) {
            return {};
        }
    }
    // The exponent saturates far beyond any digit count a file can hold, so
    // its arithmetic below cannot overflow.
    constexpr std::int64_t exponentLimit = std::int64_t{1} << 40;
    std::int64_t exponent = 0;
    if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
        ++at;
        bool exponentNegative = false;
        if (at < token.size() && (token[at] == '+' || token[at] == '-')) {
            exponentNegative = token[at] == '-';
            ++at;
        }
        const std::size_t exponentStart = at;
        while (at < token.size() && isDigit(token[at])) {
            exponent = std::min(exponent * 10 + (token[at] - '0'), exponentLimit);
            ++at;
        }
        if (at == exponentStart) {
            return {};
        }
        if (exponentNegative) {
            exponent = -exponent;
        }
    }
    if (at != token.size()) {
        return {};
    }

    // The digits as one sequence; the decimal point stands before index
    // `point` (which may lie outside the sequence on either side).
    const std::int64_t count =
        static_cast<std::int64_t>(integerDigits.size() + fractionDigits.size());
    auto digit = [&](std::int64_t i) -> int {
        if (i < 0 || i >= count) {
            return 0;
        }
        const auto index = static_cast<std::size_t>(i);
        return index < integerDigits.size() ? integerDigits[index] - '0'
                                            : fractionDigits[index - integerDigits.size()] - '0';
    };
    const std::int64_t point = static_cast<std::int64_t>(integerDigits.size()) + exponent;

    std::int64_t first = 0;
    while (first < count && digit(first) == 0) {
        ++first;
    }
    if (first == count) {
        return {Kind::whole, 0};
    }
    std::int64_t last = count - 1;
    while (digit(last) == 0) {
        --last;
    }
    if (last >= point) {
        return {Kind::notWhole, 0};
    }
    // Significant digits of the whole value: from the first non-zero digit up
    // to the point. 2^63 has 19 of them, so more never fit.
    const std::int64_t significant = point - first;
    if (significant > 19) {
        return {Kind::outOfRange, 0};
    }
    std::uint64_t magnitude = 0;
    for (std::int64_t i = first; i < point; ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit(i));
    }
    constexpr std::uint64_t largest =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > largest + 1) {
            return {Kind::outOfRange, 0};
        }
        // -(2^63) is the one value whose magnitude has no positive int64.
        return {Kind::whole, magnitude == largest + 1 ? std::numeric_limits<std::int64_t>::min()
                                                      : -static_cast<std::int64_t>(magnitude)};
    }
    if (magnitude > largest) {
        return {Kind::outOfRange, 0};
    }
    return {Kind::whole, static_cast<std::int64_t>(magnitude)};
}

} // namespace prismeta
