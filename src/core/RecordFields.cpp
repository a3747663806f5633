#include "core/RecordFields.h"

#include "core/JsonMessages.h"
#include "core/WholeNumberToken.h"

#include <limits>

namespace prismeta::reading {

std::string describeFloatOverflow(double number) {
    return describeNumber(number) + " is outside the 32-bit float range";
}

namespace {

// A number token for a description: as written, or its two ends around "..."
// when it is long (a file may hold a number of millions of digits).
std::string quoteToken(std::string_view token) {
    constexpr std::size_t keep = 24;
    if (token.size() <= 2 * keep + 3) {
        return std::string(token);
    }
    return std::string(token.substr(0, keep)) + "..." +
           std::string(token.substr(token.size() - keep));
}

} // namespace

Problem readWholeNumber(Scalar& value, std::int64_t& out) {
    switch (value.type) {
    case Scalar::Type::integer:
        out = value.integer;
        return std::nullopt;
    case Scalar::Type::unsignedInteger:
        if (value.unsignedInteger >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::to_string(value.unsignedInteger) + " does not fit a 64-bit integer";
        }
        out = static_cast<std::int64_t>(value.unsignedInteger);
        return std::nullopt;
    case Scalar::Type::floating: {
        // The parser hands over a fraction, an exponent, or an integer too
        // large for 64 bits as a double; the token says what was written.
        const WholeNumberToken number = WholeNumberToken::read(value.token);
        switch (number.kind) {
        case WholeNumberToken::Kind::whole:
            out = number.value;
            return std::nullopt;
        case WholeNumberToken::Kind::notWhole:
            return quoteToken(value.token) + " is not a whole number";
        case WholeNumberToken::Kind::outOfRange:
            return quoteToken(value.token) + " does not fit a 64-bit integer";
        }
        return std::nullopt;
    }
    default:
        return wrongType("a whole number", typeName(value.type));
    }
}

} // namespace prismeta::reading
