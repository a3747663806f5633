#pragma once

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// One component of an OSC address pattern, matched against a name: '?' is
// any one character, '*' any run of characters (none included), "[a-z]" one
// character of a set ("[!...]" one outside it; '-' first or last stands for
// itself), "{wall,floor}" any of the listed texts; everything else stands for
// itself. Names are matched whole.
//
// Matching costs at most the pattern's length times the name's, with no
// recursion: a hostile pattern cannot run away. Patterns longer than
// maxLength are refused, and names longer than maxNameLength never match
// (such a surface is still reached by its id or index).
//
// A plain value; any thread.
class OscPattern {
public:
    static constexpr std::size_t maxLength = 255;
    static constexpr std::size_t maxNameLength = 1024;

    // Whether the text uses any of the pattern characters * ? [ ] { }.
    static bool hasWildcards(std::string_view text);

    // The compiled pattern, or nothing when it is malformed (an unclosed
    // bracket or brace, a brace inside braces) or too long.
    static std::optional<OscPattern> compile(std::string_view pattern);

    bool matches(std::string_view name) const;
    // What matching the name costs, in steps: callers that match one pattern
    // against many names bound their total by it.
    std::size_t cost(std::string_view name) const {
        return (tokens_.size() + 1) * (std::min(name.size(), maxNameLength) + 1);
    }

private:
    enum class Kind { literal, anyCharacter, characterSet, anyRun, alternatives };
    struct Token {
        Kind kind = Kind::literal;
        char character = 0;
        std::bitset<256> set;
        std::vector<std::string> choices;
    };

    std::vector<Token> tokens_;
};

} // namespace prismeta
