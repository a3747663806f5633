#include "core/ShaderInputValue.h"

#include <utility>

namespace prismeta {

ShaderInputValue ShaderInputValue::ofFlag(bool value) {
    ShaderInputValue v;
    v.kind = Kind::flag;
    v.flag = value;
    return v;
}

ShaderInputValue ShaderInputValue::ofNumber(double value) {
    ShaderInputValue v;
    v.kind = Kind::number;
    v.numbers[0] = value;
    return v;
}

ShaderInputValue ShaderInputValue::ofPoint(double x, double y) {
    ShaderInputValue v;
    v.kind = Kind::numbers;
    v.numbers = {x, y, 0.0, 0.0};
    v.count = 2;
    return v;
}

ShaderInputValue ShaderInputValue::ofColor(double r, double g, double b, double a) {
    ShaderInputValue v;
    v.kind = Kind::numbers;
    v.numbers = {r, g, b, a};
    v.count = 4;
    return v;
}

ShaderInputValue ShaderInputValue::ofText(std::string value) {
    ShaderInputValue v;
    v.kind = Kind::text;
    v.text = std::move(value);
    return v;
}

} // namespace prismeta
