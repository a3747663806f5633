#include "core/JsonEventParser.h"

#include "core/HexDigit.h"
#include "core/Utf8Sequence.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

namespace prismeta {

namespace {

class Parser {
public:
    Parser(std::string_view bytes, JsonEvents& events)
        : at_(bytes.data()), end_(bytes.data() + bytes.size()), events_(events) {}

    bool run() {
        if (end_ - at_ >= 3 && at_[0] == '\xEF' && at_[1] == '\xBB' && at_[2] == '\xBF') {
            at_ += 3;
        }
        // One bit per open container: whether it is an object.
        std::vector<bool> open;
        enum class Next { value, key, afterValue } next = Next::value;
        for (;;) {
            skipWhitespace();
            if (next == Next::key) {
                if (!key() || !consume(':')) {
                    return false;
                }
                next = Next::value;
                continue;
            }
            if (next == Next::afterValue) {
                if (open.empty()) {
                    // The JSON library takes a NUL byte for the end of the
                    // input, so a text padded with zeros reads.
                    return at_ == end_ || *at_ == '\0';
                }
                if (at_ == end_) {
                    return false;
                }
                const bool inObject = open.back();
                if (*at_ == ',') {
                    ++at_;
                    next = inObject ? Next::key : Next::value;
                } else if (*at_ == (inObject ? '}' : ']')) {
                    ++at_;
                    open.pop_back();
                    inObject ? events_.endObject() : events_.endArray();
                } else {
                    return false;
                }
                continue;
            }
            if (at_ == end_) {
                return false;
            }
            switch (*at_) {
            case '{':
                ++at_;
                events_.startObject();
                skipWhitespace();
                if (at_ != end_ && *at_ == '}') {
                    ++at_;
                    events_.endObject();
                    next = Next::afterValue;
                } else {
                    open.push_back(true);
                    next = Next::key;
                }
                continue;
            case '[':
                ++at_;
                events_.startArray();
                skipWhitespace();
                if (at_ != end_ && *at_ == ']') {
                    ++at_;
                    events_.endArray();
                    next = Next::afterValue;
                } else {
                    open.push_back(false);
                    next = Next::value;
                }
                continue;
            case '"':
                if (!stringValue()) {
                    return false;
                }
                break;
            case 't':
                if (!literal("true")) {
                    return false;
                }
                if (events_.wantsValue()) {
                    events_.boolean(true);
                }
                break;
            case 'f':
                if (!literal("false")) {
                    return false;
                }
                if (events_.wantsValue()) {
                    events_.boolean(false);
                }
                break;
            case 'n':
                if (!literal("null")) {
                    return false;
                }
                if (events_.wantsValue()) {
                    events_.null();
                }
                break;
            default:
                if (!number()) {
                    return false;
                }
                break;
            }
            next = Next::afterValue;
        }
    }

private:
    void skipWhitespace() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) {
            ++at_;
        }
    }

    bool consume(char c) {
        skipWhitespace();
        if (at_ == end_ || *at_ != c) {
            return false;
        }
        ++at_;
        return true;
    }

    bool literal(std::string_view word) {
        if (static_cast<std::size_t>(end_ - at_) < word.size() ||
            std::string_view(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool digits() {
        const char* start = at_;
        while (at_ != end_ && isDigit(*at_)) {
            ++at_;
        }
        return at_ != start;
    }

    bool number() {
        const char* start = at_;
        const bool negative = *at_ == '-';
        if (negative) {
            ++at_;
        }
        if (at_ == end_ || !isDigit(*at_)) {
            return false;
        }
        if (*at_ == '0') {
            ++at_;
        } else {
            digits();
        }
        bool whole = true;
        if (at_ != end_ && *at_ == '.') {
            ++at_;
            whole = false;
            if (!digits()) {
                return false;
            }
        }
        if (at_ != end_ && (*at_ == 'e' || *at_ == 'E')) {
            ++at_;
            whole = false;
            if (at_ != end_ && (*at_ == '+' || *at_ == '-')) {
                ++at_;
            }
            if (!digits()) {
                return false;
            }
        }
        if (whole) {
            // Integers that do not fit 64 bits are read as doubles below.
            if (negative) {
                std::int64_t value = 0;
                const auto result = std::from_chars(start, at_, value);
                if (result.ec == std::errc() && result.ptr == at_) {
                    if (events_.wantsValue()) {
                        events_.integer(value);
                    }
                    return true;
                }
            } else {
                std::uint64_t value = 0;
                const auto result = std::from_chars(start, at_, value);
                if (result.ec == std::errc() && result.ptr == at_) {
                    if (events_.wantsValue()) {
                        events_.unsignedInteger(value);
                    }
                    return true;
                }
            }
        }
        // Correctly rounded, like the C library's strtod, and free of the
        // locale's decimal point. Out of range: rounding to zero reads as
        // zero, as in the JSON library; too large is an error there, and here
        // unless the receiver takes it.
        const std::string_view token(start, static_cast<std::size_t>(at_ - start));
        double value = 0.0;
        const auto result = std::from_chars(start, at_, value);
        if (result.ptr != at_) {
            return false;
        }
        if (result.ec == std::errc::result_out_of_range && !tooLarge(token)) {
            // Too small for a double: zero, as the library reads it.
            value = negative ? -0.0 : 0.0;
        } else if (result.ec != std::errc()) {
            // Too large: a receiver that clamps may take it as an infinity.
            if (result.ec != std::errc::result_out_of_range || !events_.wantsValue() ||
                !events_.takesHugeNumbers()) {
                return false;
            }
            value = negative ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
        }
        if (events_.wantsValue()) {
            events_.floating(value, token);
        }
        return true;
    }

    // Whether a valid number token out of a double's range is so because it
    // is too large (and not too small): its first significant digit stands at
    // or above the units.
    static bool tooLarge(std::string_view token) {
        std::size_t i = token.front() == '-' ? 1 : 0;
        std::int64_t unitsBeforeFirst =
            0;                            // digits before the point, from the first significant one
        std::int64_t zerosAfterPoint = 0; // zeros after the point before it
        bool significant = false;
        bool afterPoint = false;
        for (; i < token.size() && token[i] != 'e' && token[i] != 'E'; ++i) {
            const char c = token[i];
            if (c == '.') {
                afterPoint = true;
            } else if (!afterPoint) {
                significant = significant || c != '0';
                unitsBeforeFirst += significant ? 1 : 0;
            } else if (!significant) {
                significant = c != '0';
                zerosAfterPoint += significant ? 0 : 1;
            }
        }
        std::int64_t exponent = 0;
        if (i < token.size()) {
            ++i;
            const bool negativeExponent = token[i] == '-';
            if (token[i] == '-' || token[i] == '+') {
                ++i;
            }
            for (; i < token.size(); ++i) {
                exponent = std::min<std::int64_t>(exponent * 10 + (token[i] - '0'), 1'000'000'000);
            }
            exponent = negativeExponent ? -exponent : exponent;
        }
        // The power of ten of the first significant digit.
        const std::int64_t leading =
            unitsBeforeFirst > 0 ? unitsBeforeFirst - 1 + exponent : exponent - zerosAfterPoint - 1;
        return significant && leading >= 0;
    }

    // The four hex digits after "\u" at p, or -1.
    int codeUnit(const char* p) const {
        if (end_ - p < 4) {
            return -1;
        }
        int unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigitValue(p[i]);
            if (digit < 0) {
                return -1;
            }
            unit = unit * 16 + digit;
        }
        return unit;
    }

    // Checks the string whose opening quote is at at_ and moves past it. On
    // success, [first, last) is its raw text and escaped says whether it
    // holds escapes.
    bool scanString(const char*& first, const char*& last, bool& escaped) {
        ++at_;
        first = at_;
        escaped = false;
        for (;;) {
            if (at_ == end_) {
                return false;
            }
            const auto c = static_cast<unsigned char>(*at_);
            if (c == '"') {
                last = at_;
                ++at_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c < 0x80 && c != '\\') {
                ++at_;
                continue;
            }
            if (c >= 0x80) {
                const std::size_t length =
                    utf8SequenceLength(std::string_view(at_, static_cast<std::size_t>(end_ - at_)));
                if (length == 0) {
                    return false;
                }
                at_ += length;
                continue;
            }
            escaped = true;
            if (end_ - at_ < 2) {
                return false;
            }
            const char kind = at_[1];
            if (kind != 'u') {
                if (std::string_view("\"\\/bfnrt").find(kind) == std::string_view::npos) {
                    return false;
                }
                at_ += 2;
                continue;
            }
            const int unit = codeUnit(at_ + 2);
            if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
                return false;
            }
            at_ += 6;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                // A high surrogate must be followed by an escaped low one.
                if (end_ - at_ < 6 || at_[0] != '\\' || at_[1] != 'u') {
                    return false;
                }
                const int low = codeUnit(at_ + 2);
                if (low < 0xDC00 || low > 0xDFFF) {
                    return false;
                }
                at_ += 6;
            }
        }
    }

    static void appendUtf8(std::string& text, unsigned code) {
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (code >> 18));
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // The text of a string already checked by scanString.
    std::string decode(const char* first, const char* last, bool escaped) const {
        if (!escaped) {
            return std::string(first, last);
        }
        std::string text;
        text.reserve(static_cast<std::size_t>(last - first));
        for (const char* p = first; p != last;) {
            if (*p != '\\') {
                text += *p++;
                continue;
            }
            const char kind = p[1];
            p += 2;
            switch (kind) {
            case 'b':
                text += '\b';
                break;
            case 'f':
                text += '\f';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case 'u': {
                auto code = static_cast<unsigned>(codeUnit(p));
                p += 4;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    const auto low = static_cast<unsigned>(codeUnit(p + 2));
                    p += 6;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(text, code);
                break;
            }
            default: // '"', '\\' and '/' stand for themselves
                text += kind;
                break;
            }
        }
        return text;
    }

    bool stringValue() {
        const char* first = nullptr;
        const char* last = nullptr;
        bool escaped = false;
        if (!scanString(first, last, escaped)) {
            return false;
        }
        if (events_.wantsValue()) {
            std::string text = decode(first, last, escaped);
            events_.string(text);
        }
        return true;
    }

    bool key() {
        if (at_ == end_ || *at_ != '"') {
            return false;
        }
        const char* first = nullptr;
        const char* last = nullptr;
        bool escaped = false;
        if (!scanString(first, last, escaped)) {
            return false;
        }
        if (events_.wantsKey()) {
            std::string name = decode(first, last, escaped);
            events_.key(name);
        }
        return true;
    }

    const char* at_;
    const char* end_;
    JsonEvents& events_;
};

} // namespace

bool parseJsonEvents(std::string_view bytes, JsonEvents& events) {
    return Parser(bytes, events).run();
}

} // namespace prismeta
