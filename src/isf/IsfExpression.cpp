#include "isf/IsfExpression.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace prismeta {

namespace {

constexpr int maxDepth = 64;

// A recursive-descent reader over the text. Errors are kept as a static
// description plus the offending token's position, so a successful
// evaluation builds no text.
class Evaluator {
public:
    Evaluator(std::string_view text, const IsfVariables& variables)
        : text_(text), variables_(variables) {}

    Result<double> run() {
        const double value = ternary(0);
        skipSpace();
        if (!failed() && pos_ != text_.size()) {
            fail("unexpected text");
        }
        if (!failed() && !std::isfinite(value)) {
            fail("the result is not a finite number");
        }
        if (failed()) {
            std::string message = error_;
            message += " at ";
            message += std::to_string(errorPos_ + 1);
            message += " in \"";
            message += text_.substr(0, 80);
            message += "\"";
            return Result<double>::failure(message);
        }
        return value;
    }

private:
    bool failed() const { return error_ != nullptr; }
    double fail(const char* what) {
        if (!error_) {
            error_ = what;
            errorPos_ = pos_;
        }
        return 0.0;
    }
    void skipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            ++pos_;
        }
    }
    bool eat(std::string_view token) {
        skipSpace();
        if (text_.substr(pos_, token.size()) == token) {
            pos_ += token.size();
            return true;
        }
        return false;
    }

    double ternary(int depth) {
        if (depth > maxDepth) {
            return fail("nested too deeply");
        }
        const double condition = comparison(depth);
        if (failed() || !eat("?")) {
            return condition;
        }
        const double whenTrue = ternary(depth + 1);
        if (!eat(":")) {
            return fail("':' expected");
        }
        const double whenFalse = ternary(depth + 1);
        return condition != 0.0 ? whenTrue : whenFalse;
    }

    double comparison(int depth) {
        double left = sum(depth);
        while (!failed()) {
            if (eat("<=")) {
                left = left <= sum(depth) ? 1.0 : 0.0;
            } else if (eat(">=")) {
                left = left >= sum(depth) ? 1.0 : 0.0;
            } else if (eat("==")) {
                left = left == sum(depth) ? 1.0 : 0.0;
            } else if (eat("!=")) {
                left = left != sum(depth) ? 1.0 : 0.0;
            } else if (eat("<")) {
                left = left < sum(depth) ? 1.0 : 0.0;
            } else if (eat(">")) {
                left = left > sum(depth) ? 1.0 : 0.0;
            } else {
                break;
            }
        }
        return left;
    }

    double sum(int depth) {
        double left = product(depth);
        while (!failed()) {
            if (eat("+")) {
                left += product(depth);
            } else if (eat("-")) {
                left -= product(depth);
            } else {
                break;
            }
        }
        return left;
    }

    double product(int depth) {
        double left = unary(depth);
        while (!failed()) {
            if (eat("*")) {
                left *= unary(depth);
            } else if (eat("/") || eat("%")) {
                const bool modulo = text_[pos_ - 1] == '%';
                const std::size_t at = pos_;
                const double right = unary(depth);
                if (!failed() && right == 0.0) {
                    pos_ = at;
                    return fail("division by zero");
                }
                left = modulo ? std::fmod(left, right) : left / right;
            } else {
                break;
            }
        }
        return left;
    }

    double unary(int depth) {
        if (depth > maxDepth) {
            return fail("nested too deeply");
        }
        if (eat("-")) {
            return -unary(depth + 1);
        }
        if (eat("+")) {
            return unary(depth + 1);
        }
        return primary(depth);
    }

    std::string_view word() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    double primary(int depth) {
        skipSpace();
        if (pos_ >= text_.size()) {
            return fail("a value expected");
        }
        if (eat("(")) {
            const double inner = ternary(depth + 1);
            if (!eat(")")) {
                return fail("')' expected");
            }
            return inner;
        }
        const char c = text_[pos_];
        if (c == '$') {
            ++pos_;
            const std::size_t at = pos_;
            const std::string_view name = word();
            const std::optional<double> value = variables_.value(name);
            if (!value) {
                pos_ = at;
                return fail("unknown variable");
            }
            return *value;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
            double number = 0.0;
            const char* begin = text_.data() + pos_;
            const auto parsed = std::from_chars(begin, text_.data() + text_.size(), number);
            if (parsed.ec != std::errc()) {
                return fail("a number expected");
            }
            pos_ += static_cast<std::size_t>(parsed.ptr - begin);
            return number;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            const std::size_t at = pos_;
            const std::string_view name = word();
            if (!eat("(")) {
                pos_ = at;
                return fail("unknown name");
            }
            double args[3] = {0.0, 0.0, 0.0};
            int count = 0;
            if (!eat(")")) {
                do {
                    if (count == 3) {
                        return fail("too many arguments");
                    }
                    args[count++] = ternary(depth + 1);
                } while (!failed() && eat(","));
                if (!failed() && !eat(")")) {
                    return fail("')' expected");
                }
            }
            if (failed()) {
                return 0.0;
            }
            return call(name, args, count, at);
        }
        return fail("a value expected");
    }

    double call(std::string_view name, const double* a, int count, std::size_t at) {
        const auto need = [&](int wanted) {
            if (count != wanted) {
                pos_ = at;
                fail("wrong number of arguments");
                return false;
            }
            return true;
        };
        if (name == "abs" && need(1)) {
            return std::fabs(a[0]);
        }
        if (name == "ceil" && need(1)) {
            return std::ceil(a[0]);
        }
        if (name == "floor" && need(1)) {
            return std::floor(a[0]);
        }
        if (name == "round" && need(1)) {
            return std::round(a[0]);
        }
        if (name == "sqrt" && need(1)) {
            return std::sqrt(a[0]);
        }
        if (name == "pow" && need(2)) {
            return std::pow(a[0], a[1]);
        }
        if (name == "min" && need(2)) {
            return std::fmin(a[0], a[1]);
        }
        if (name == "max" && need(2)) {
            return std::fmax(a[0], a[1]);
        }
        if (name == "clamp" && need(3)) {
            return std::fmin(std::fmax(a[0], a[1]), a[2]);
        }
        if (!failed()) {
            pos_ = at;
            fail("unknown function");
        }
        return 0.0;
    }

    std::string_view text_;
    const IsfVariables& variables_;
    std::size_t pos_ = 0;
    const char* error_ = nullptr;
    std::size_t errorPos_ = 0;
};

} // namespace

Result<double> evaluateIsfExpression(std::string_view text, const IsfVariables& variables) {
    return Evaluator(text, variables).run();
}

} // namespace prismeta
