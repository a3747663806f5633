#include "isf/IsfImplicitConversions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace prismeta {

bool glslIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

namespace {

constexpr std::size_t none = static_cast<std::size_t>(-1);

enum class Kind { identifier, number, symbol };

struct Token {
    Kind kind;
    std::size_t begin;
    std::size_t end;
};

bool digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The code's tokens, without whitespace, comments and preprocessor lines.
std::vector<Token> tokenize(std::string_view code) {
    static constexpr std::array<std::string_view, 21> operators = {
        "<<=", ">>=", "<<", ">>", "<=", ">=", "==", "!=", "&&", "||", "^^",
        "++",  "--",  "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
    std::vector<Token> tokens;
    std::size_t i = 0;
    bool lineStart = true;
    while (i < code.size()) {
        const char c = code[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < code.size() && code[i + 1] == '/') {
            i = code.find('\n', i);
            i = i == std::string_view::npos ? code.size() : i;
            continue;
        }
        if (c == '/' && i + 1 < code.size() && code[i + 1] == '*') {
            const std::size_t end = code.find("*/", i + 2);
            i = end == std::string_view::npos ? code.size() : end + 2;
            continue;
        }
        if (lineStart && c == '#') {
            // To the end of the line, across backslash continuations.
            while (i < code.size() && code[i] != '\n') {
                i += code[i] == '\\' && i + 1 < code.size() ? 2 : 1;
            }
            continue;
        }
        lineStart = false;
        const std::size_t begin = i;
        if (digit(c) || (c == '.' && i + 1 < code.size() && digit(code[i + 1]))) {
            const bool hex = c == '0' && i + 1 < code.size() && (code[i + 1] | 0x20) == 'x';
            while (i < code.size() &&
                   (glslIdentifierChar(code[i]) || code[i] == '.' ||
                    (!hex && (code[i] == '+' || code[i] == '-') && (code[i - 1] | 0x20) == 'e'))) {
                ++i;
            }
            tokens.push_back({Kind::number, begin, i});
        } else if (glslIdentifierChar(c)) {
            while (i < code.size() && glslIdentifierChar(code[i])) {
                ++i;
            }
            tokens.push_back({Kind::identifier, begin, i});
        } else {
            std::size_t length = 1;
            for (std::string_view op : operators) {
                if (code.substr(i, op.size()) == op) {
                    length = op.size();
                    break;
                }
            }
            i += length;
            tokens.push_back({Kind::symbol, begin, i});
        }
    }
    return tokens;
}

bool oneOf(std::string_view text, std::initializer_list<std::string_view> set) {
    return std::find(set.begin(), set.end(), text) != set.end();
}

bool basicType(std::string_view word) {
    if (oneOf(word, {"void", "bool", "int", "uint", "float", "double"})) {
        return true;
    }
    for (std::string_view prefix : {"vec", "ivec", "uvec", "bvec", "dvec", "mat", "dmat"}) {
        if (word.starts_with(prefix) && word.size() > prefix.size() && digit(word[prefix.size()])) {
            return true;
        }
    }
    return word.starts_with("sampler");
}

bool unsignedType(std::string_view word) {
    return oneOf(word, {"uint", "uvec2", "uvec3", "uvec4"});
}

// What the declarations say of a name.
struct Declared {
    bool isUnsigned = false;   // uint or uvecN, or an array of them
    bool scalarUint = false;   // a plain uint (no array)
    bool conflicting = false;  // declared with different types
    bool returnsFloat = false; // functions: their return type
    bool returnsUint = false;
};

class Rewriter {
public:
    explicit Rewriter(std::string_view code) : code_(code), tokens_(tokenize(code)) {
        matchBrackets();
        readDeclarations();
    }

    ConvertedGlsl run() {
        suffixLiterals();
        wrapAssignments();
        wrapReturns();
        std::stable_sort(insertions_.begin(), insertions_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        ConvertedGlsl out;
        out.code.reserve(code_.size() + insertions_.size() * 10);
        std::size_t copied = 0;
        for (const auto& [at, text] : insertions_) {
            out.code.append(code_.substr(copied, at - copied));
            out.code.append(text);
            copied = at;
        }
        out.code.append(code_.substr(copied));
        if (usedFloat_) {
            out.helpers += "float isf_float(float v) { return v; }\n"
                           "float isf_float(int v) { return float(v); }\n"
                           "float isf_float(uint v) { return float(v); }\n";
        }
        if (usedUint_) {
            out.helpers += "uint isf_uint(uint v) { return v; }\n"
                           "uint isf_uint(int v) { return uint(v); }\n";
        }
        return out;
    }

private:
    std::string_view text(std::size_t i) const {
        return code_.substr(tokens_[i].begin, tokens_[i].end - tokens_[i].begin);
    }
    bool is(std::size_t i, std::string_view symbol) const {
        return i < tokens_.size() && tokens_[i].kind == Kind::symbol && text(i) == symbol;
    }
    bool identifier(std::size_t i) const {
        return i < tokens_.size() && tokens_[i].kind == Kind::identifier;
    }
    bool typeName(std::string_view word) const {
        return basicType(word) || structs_.count(word) != 0;
    }
    // A literal of type int: decimal, octal or hexadecimal digits, no suffix.
    bool intLiteral(std::size_t i) const {
        if (tokens_[i].kind != Kind::number) {
            return false;
        }
        std::string_view t = text(i);
        if (t.size() > 2 && t[0] == '0' && (t[1] | 0x20) == 'x') {
            return std::all_of(t.begin() + 2, t.end(),
                               [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
        }
        return std::all_of(t.begin(), t.end(), digit);
    }
    bool uintLiteral(std::size_t i) const {
        const std::string_view t = text(i);
        return tokens_[i].kind == Kind::number && !t.empty() && (t.back() | 0x20) == 'u';
    }

    void matchBrackets() {
        match_.assign(tokens_.size(), none);
        depth_.assign(tokens_.size(), 0);
        std::vector<std::size_t> open;
        int braces = 0;
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            depth_[i] = braces;
            if (tokens_[i].kind != Kind::symbol) {
                continue;
            }
            const std::string_view t = text(i);
            if (t == "(" || t == "[" || t == "{") {
                open.push_back(i);
                braces += t == "{";
            } else if (t == ")" || t == "]" || t == "}") {
                const char opening = t == ")" ? '(' : t == "]" ? '[' : '{';
                if (!open.empty() && text(open.back())[0] == opening) {
                    match_[open.back()] = i;
                    match_[i] = open.back();
                    open.pop_back();
                }
                braces -= t == "}" && braces > 0;
                depth_[i] = braces;
            }
        }
    }

    void declare(std::map<std::string_view, Declared>& into, std::string_view name, Declared what) {
        const auto [it, added] = into.emplace(name, what);
        if (!added &&
            (it->second.isUnsigned != what.isUnsigned || it->second.scalarUint != what.scalarUint ||
             it->second.returnsFloat != what.returnsFloat ||
             it->second.returnsUint != what.returnsUint)) {
            it->second.conflicting = true;
        }
    }

    // Variables (globals, locals, parameters, members) and functions, by
    // name: TYPE NAME, TYPE[N] NAME, and the further names of a declaration
    // (TYPE a = 1, b).
    void readDeclarations() {
        for (std::size_t i = 0; i + 1 < tokens_.size(); ++i) {
            if (text(i) == "struct" && identifier(i + 1)) {
                structs_.insert(text(i + 1));
            }
        }
        for (std::size_t i = 0; i + 1 < tokens_.size(); ++i) {
            if (!identifier(i) || !typeName(text(i)) || is(i - 1, ".")) {
                continue;
            }
            const std::string_view type = text(i);
            std::size_t name = i + 1;
            bool array = false;
            if (is(name, "[") && match_[name] != none) {
                array = true;
                name = match_[name] + 1;
            }
            if (!identifier(name) || typeName(text(name))) {
                continue;
            }
            if (is(name + 1, "(")) {
                // A function: its body follows its parameter list.
                Declared function;
                function.isUnsigned = unsignedType(type) && !array;
                function.returnsFloat = type == "float" && !array;
                function.returnsUint = type == "uint" && !array;
                declare(functions_, text(name), function);
                const std::size_t close = match_[name + 1];
                if (depth_[i] == 0 && close != none && is(close + 1, "{") &&
                    match_[close + 1] != none && (function.returnsFloat || function.returnsUint)) {
                    bodies_.push_back({close + 1, match_[close + 1], function.returnsFloat});
                }
                continue;
            }
            Declared variable;
            variable.isUnsigned = unsignedType(type);
            variable.scalarUint = type == "uint" && !array && !is(name + 1, "[");
            declare(variables_, text(name), variable);
            // Further names of the same declaration, up to its end.
            for (std::size_t j = name + 1; j < tokens_.size(); ++j) {
                if (is(j, "(") || is(j, "[") || is(j, "{")) {
                    if (match_[j] == none) {
                        break;
                    }
                    j = match_[j];
                } else if (is(j, ",") && identifier(j + 1) && !typeName(text(j + 1)) &&
                           (is(j + 2, "=") || is(j + 2, ",") || is(j + 2, ";") || is(j + 2, "["))) {
                    Declared next;
                    next.isUnsigned = variable.isUnsigned;
                    next.scalarUint = type == "uint" && !array && !is(j + 2, "[");
                    declare(variables_, text(j + 1), next);
                } else if ((tokens_[j].kind == Kind::symbol &&
                            (text(j) == ";" || text(j) == ")" || text(j) == "}" ||
                             text(j) == "{")) ||
                           (identifier(j) && typeName(text(j)) && !is(j + 1, "("))) {
                    break; // the end, or the next declaration's own type
                }
            }
        }
    }

    bool unsignedVariable(std::string_view name) const {
        const auto it = variables_.find(name);
        return it != variables_.end() && it->second.isUnsigned && !it->second.conflicting &&
               functions_.find(name) == functions_.end();
    }
    bool scalarUintVariable(std::string_view name) const {
        const auto it = variables_.find(name);
        return it != variables_.end() && it->second.scalarUint && !it->second.conflicting &&
               functions_.find(name) == functions_.end();
    }
    bool unsignedCallable(std::string_view name) const {
        if (unsignedType(name) || name == "floatBitsToUint") {
            return true;
        }
        const auto it = functions_.find(name);
        return it != functions_.end() && it->second.isUnsigned && !it->second.conflicting &&
               variables_.find(name) == variables_.end();
    }

    // The primary expression (a name or call with its swizzles, elements and
    // postfix steps) that ends at token last: whether it is a uint or uvec.
    bool unsignedEndingAt(std::size_t last) const {
        std::size_t i = last;
        while (i < tokens_.size()) {
            if (is(i, "++") || is(i, "--")) {
                --i;
            } else if (is(i, "]")) {
                if (match_[i] == none || match_[i] == 0) {
                    return false;
                }
                i = match_[i] - 1;
            } else if (is(i, ")")) {
                const std::size_t open = match_[i];
                // A call (not a method's, not a parenthesised expression).
                return open != none && open > 0 && identifier(open - 1) &&
                       (open < 2 || !is(open - 2, ".")) && unsignedCallable(text(open - 1));
            } else if (identifier(i)) {
                if (i >= 2 && is(i - 1, ".")) {
                    i -= 2; // a swizzle keeps a uvec unsigned
                    continue;
                }
                return unsignedVariable(text(i));
            } else {
                return tokens_[i].kind == Kind::number && uintLiteral(i);
            }
        }
        return false;
    }

    // The same for the primary that starts at token first; its end (one
    // past) in end.
    bool unsignedStartingAt(std::size_t first, std::size_t& end) const {
        end = first + 1;
        if (first >= tokens_.size()) {
            return false;
        }
        if (tokens_[first].kind == Kind::number) {
            return uintLiteral(first);
        }
        if (!identifier(first)) {
            return false;
        }
        bool result = false;
        if (is(first + 1, "(")) {
            if (match_[first + 1] == none) {
                return false;
            }
            result = unsignedCallable(text(first));
            end = match_[first + 1] + 1;
        } else {
            result = unsignedVariable(text(first));
        }
        while (end < tokens_.size()) {
            if (is(end, ".") && identifier(end + 1)) {
                if (is(end + 2, "(")) {
                    return false; // a method, such as length()
                }
                end += 2;
            } else if (is(end, "[") && match_[end] != none) {
                end = match_[end] + 1;
            } else if (is(end, "++") || is(end, "--")) {
                ++end;
            } else {
                break;
            }
        }
        return result;
    }

    // Whether the token before an operator ends an operand (so a + or - is binary).
    bool endsOperand(std::size_t i) const {
        if (i >= tokens_.size()) {
            return false;
        }
        if (tokens_[i].kind == Kind::identifier) {
            return text(i) != "return" && text(i) != "case";
        }
        return tokens_[i].kind == Kind::number || is(i, ")") || is(i, "]") || is(i, "++") ||
               is(i, "--");
    }

    static bool operatorMixingTypes(std::string_view op) {
        return oneOf(op,
                     {"+", "-", "*", "/", "%", "&", "|", "^", "<", ">", "<=", ">=", "==", "!="});
    }
    static bool assignment(std::string_view op) {
        return oneOf(op, {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="});
    }

    void suffixLiterals() {
        for (std::size_t k = 0; k < tokens_.size(); ++k) {
            if (!intLiteral(k)) {
                continue;
            }
            bool beside = false;
            if (k >= 1 && tokens_[k - 1].kind == Kind::symbol) {
                const std::string_view op = text(k - 1);
                const bool binary = k >= 2 && endsOperand(k - 2);
                if ((op == "-" || op == "+") && !binary) {
                    continue; // a signed literal: its uint would not be the same number
                }
                beside = binary && (operatorMixingTypes(op) || assignment(op)) &&
                         unsignedEndingAt(k - 2);
            }
            std::size_t end = 0;
            if (!beside && k + 2 < tokens_.size() && tokens_[k + 1].kind == Kind::symbol &&
                operatorMixingTypes(text(k + 1))) {
                beside = unsignedStartingAt(k + 2, end);
            }
            if (beside) {
                insertions_.emplace_back(tokens_[k].end, "u");
            }
        }
    }

    // One past the last token of the expression that starts at first: up to
    // a ; or , or closing bracket outside brackets opened within it. An
    // assignment or a return also ends it (the callers then leave it be):
    // so no token is scanned twice, whatever the text.
    std::size_t expressionEnd(std::size_t first) const {
        std::size_t i = first;
        while (i < tokens_.size()) {
            if ((is(i, "(") || is(i, "[") || is(i, "{")) && match_[i] != none) {
                i = match_[i] + 1;
            } else if (is(i, ";") || is(i, ",") || is(i, ")") || is(i, "]") || is(i, "}") ||
                       (tokens_[i].kind == Kind::symbol && assignment(text(i))) ||
                       (identifier(i) && text(i) == "return")) {
                break;
            } else {
                ++i;
            }
        }
        return i;
    }

    void wrap(std::size_t first, std::size_t end, bool toFloat) {
        // "return(x)" must not become "returnisf_float(...".
        const std::size_t at = tokens_[first].begin;
        const bool joined = at > 0 && glslIdentifierChar(code_[at - 1]);
        insertions_.emplace_back(at, std::string(joined ? " " : "") +
                                         (toFloat ? "isf_float(" : "isf_uint("));
        insertions_.emplace_back(tokens_[end - 1].end, ")");
        (toFloat ? usedFloat_ : usedUint_) = true;
    }

    void wrapAssignments() {
        for (std::size_t e = 1; e + 1 < tokens_.size(); ++e) {
            if (!is(e, "=") || !identifier(e - 1) || (e >= 2 && is(e - 2, ".")) ||
                !scalarUintVariable(text(e - 1))) {
                continue;
            }
            const std::size_t end = expressionEnd(e + 1);
            std::size_t primaryEnd = 0;
            if (end == e + 1 ||
                (end < tokens_.size() && tokens_[end].kind == Kind::symbol &&
                 assignment(text(end))) ||
                (end == e + 2 && tokens_[e + 1].kind == Kind::number) ||
                (unsignedStartingAt(e + 1, primaryEnd) && primaryEnd == end)) {
                continue; // nothing, a chain of assignments, a literal (suffixed above) or a uint
            }
            wrap(e + 1, end, false);
        }
    }

    void wrapReturns() {
        for (const Body& body : bodies_) {
            for (std::size_t r = body.open + 1; r < body.close; ++r) {
                if (!identifier(r) || text(r) != "return" || is(r + 1, ";")) {
                    continue;
                }
                const std::size_t end = expressionEnd(r + 1);
                std::size_t primaryEnd = 0;
                if (end == r + 1 || !is(end, ";") ||
                    (!body.returnsFloat && unsignedStartingAt(r + 1, primaryEnd) &&
                     primaryEnd == end)) {
                    continue; // nothing to convert, or a uint already
                }
                wrap(r + 1, end, body.returnsFloat);
            }
        }
    }

    struct Body {
        std::size_t open;
        std::size_t close;
        bool returnsFloat; // else uint
    };

    std::string_view code_;
    std::vector<Token> tokens_;
    std::vector<std::size_t> match_; // the matching bracket of each bracket
    std::vector<int> depth_;         // braces open around each token
    std::set<std::string_view> structs_;
    std::map<std::string_view, Declared> variables_;
    std::map<std::string_view, Declared> functions_;
    std::vector<Body> bodies_;
    std::vector<std::pair<std::size_t, std::string>> insertions_;
    bool usedFloat_ = false;
    bool usedUint_ = false;
};

} // namespace

ConvertedGlsl makeConversionsExplicit(std::string_view code) {
    return Rewriter(code).run();
}

} // namespace prismeta
