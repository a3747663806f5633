#include "control/OscPattern.h"

namespace prismeta {

bool OscPattern::hasWildcards(std::string_view text) {
    return text.find_first_of("*?[]{}") != std::string_view::npos;
}

std::optional<OscPattern> OscPattern::compile(std::string_view pattern) {
    if (pattern.size() > maxLength) {
        return std::nullopt;
    }
    OscPattern compiled;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        Token token;
        if (c == '?') {
            token.kind = Kind::anyCharacter;
            ++i;
        } else if (c == '*') {
            // A run of stars is one star.
            if (!compiled.tokens_.empty() && compiled.tokens_.back().kind == Kind::anyRun) {
                ++i;
                continue;
            }
            token.kind = Kind::anyRun;
            ++i;
        } else if (c == '[') {
            const std::size_t close = pattern.find(']', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            std::string_view body = pattern.substr(i + 1, close - i - 1);
            bool negated = false;
            if (!body.empty() && body.front() == '!') {
                negated = true;
                body.remove_prefix(1);
            }
            token.kind = Kind::characterSet;
            for (std::size_t k = 0; k < body.size(); ++k) {
                const auto first = static_cast<unsigned char>(body[k]);
                if (k + 2 < body.size() && body[k + 1] == '-') {
                    const auto last = static_cast<unsigned char>(body[k + 2]);
                    for (unsigned v = first; v <= last; ++v) {
                        token.set.set(v);
                    }
                    k += 2;
                } else {
                    token.set.set(first);
                }
            }
            if (negated) {
                token.set.flip();
            }
            i = close + 1;
        } else if (c == '{') {
            const std::size_t close = pattern.find('}', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            const std::string_view body = pattern.substr(i + 1, close - i - 1);
            if (body.find_first_of("{[*?") != std::string_view::npos) {
                return std::nullopt; // choices are plain texts
            }
            token.kind = Kind::alternatives;
            std::size_t start = 0;
            while (true) {
                const std::size_t comma = body.find(',', start);
                token.choices.emplace_back(body.substr(start, comma - start));
                if (comma == std::string_view::npos) {
                    break;
                }
                start = comma + 1;
            }
            i = close + 1;
        } else if (c == ']' || c == '}') {
            return std::nullopt; // closes nothing
        } else {
            token.kind = Kind::literal;
            token.character = c;
            ++i;
        }
        compiled.tokens_.push_back(std::move(token));
    }
    return compiled;
}

bool OscPattern::matches(std::string_view name) const {
    if (name.size() > maxNameLength) {
        return false;
    }
    // reach[p]: the tokens so far can consume exactly the first p characters.
    const std::size_t n = name.size();
    std::vector<char> reach(n + 1, 0);
    std::vector<char> next(n + 1, 0);
    reach[0] = 1;
    for (const Token& token : tokens_) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        switch (token.kind) {
        case Kind::anyRun: {
            char seen = 0;
            for (std::size_t p = 0; p <= n; ++p) {
                seen = static_cast<char>(seen | reach[p]);
                next[p] = seen;
                any = any || seen != 0;
            }
            break;
        }
        case Kind::alternatives:
            for (std::size_t p = 0; p <= n; ++p) {
                if (reach[p] == 0) {
                    continue;
                }
                for (const std::string& choice : token.choices) {
                    if (name.substr(p).starts_with(choice)) {
                        next[p + choice.size()] = 1;
                        any = true;
                    }
                }
            }
            break;
        default:
            for (std::size_t p = 0; p < n; ++p) {
                if (reach[p] == 0) {
                    continue;
                }
                const auto c = static_cast<unsigned char>(name[p]);
                const bool fits = token.kind == Kind::anyCharacter ||
                                  (token.kind == Kind::literal && name[p] == token.character) ||
                                  (token.kind == Kind::characterSet && token.set.test(c));
                if (fits) {
                    next[p + 1] = 1;
                    any = true;
                }
            }
            break;
        }
        if (!any) {
            return false;
        }
        reach.swap(next);
    }
    return reach[n] != 0;
}

} // namespace prismeta
