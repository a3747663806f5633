#pragma once

#include "core/Result.h"

#include <optional>
#include <string_view>

namespace prismeta {

// The values an expression may name: $WIDTH, $HEIGHT and the shader's inputs
// ("$level"), looked up without the '$'.
class IsfVariables {
public:
    virtual ~IsfVariables() = default;
    virtual std::optional<double> value(std::string_view name) const = 0;
};

// Evaluates a pass size expression of the header ("$WIDTH / 2.0",
// "floor($HEIGHT * $scale) + 1", "max($WIDTH, 16)"): numbers, variables,
// + - * / %, unary minus, parentheses, comparisons (< <= > >= == !=, 1 or 0),
// `a ? b : c`, and the functions abs, ceil, floor, round, sqrt, pow, min,
// max, clamp. Fails in plain words on a syntax error, an unknown variable or
// function, a division by zero, nesting deeper than 64 or a result that is
// not finite. Allocates nothing on success; any thread.
Result<double> evaluateIsfExpression(std::string_view text, const IsfVariables& variables);

} // namespace prismeta
