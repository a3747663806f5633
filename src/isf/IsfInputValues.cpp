#include "isf/IsfInputValues.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace prismeta {

namespace {

std::size_t numberCount(IsfInputType type) {
    switch (type) {
    case IsfInputType::point2D:
        return 2;
    case IsfInputType::color:
        return 4;
    default:
        return 1;
    }
}

// The stored value's numbers when its shape fits the type.
std::optional<std::array<double, 4>> fitting(const IsfInput& input, const ShaderInputValue& v) {
    std::array<double, 4> numbers{};
    switch (input.type) {
    case IsfInputType::event:
    case IsfInputType::boolean:
        if (v.kind == ShaderInputValue::Kind::flag) {
            numbers[0] = v.flag ? 1.0 : 0.0;
            return numbers;
        }
        if (v.kind == ShaderInputValue::Kind::number) {
            numbers[0] = v.numbers[0] != 0.0 ? 1.0 : 0.0;
            return numbers;
        }
        return std::nullopt;
    case IsfInputType::longInt:
    case IsfInputType::floating:
        if (v.kind != ShaderInputValue::Kind::number || !std::isfinite(v.numbers[0])) {
            return std::nullopt;
        }
        numbers[0] = v.numbers[0];
        return numbers;
    case IsfInputType::point2D:
    case IsfInputType::color: {
        const int wanted = static_cast<int>(numberCount(input.type));
        if (v.kind != ShaderInputValue::Kind::numbers ||
            !(v.count == wanted || (wanted == 4 && v.count == 3))) {
            return std::nullopt;
        }
        numbers[3] = wanted == 4 ? 1.0 : 0.0;
        for (int i = 0; i < v.count; ++i) {
            if (!std::isfinite(v.numbers[static_cast<std::size_t>(i)])) {
                return std::nullopt;
            }
            numbers[static_cast<std::size_t>(i)] = v.numbers[static_cast<std::size_t>(i)];
        }
        return numbers;
    }
    case IsfInputType::image:
    case IsfInputType::audio:
    case IsfInputType::audioFFT:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::array<double, 4> resolvedIsfValue(const IsfInput& input, const ShaderInputs& stored) {
    const auto it = stored.find(input.name);
    if (it == stored.end()) {
        return input.defaultValue;
    }
    std::optional<std::array<double, 4>> value = fitting(input, it->second);
    if (!value) {
        return input.defaultValue;
    }
    const std::size_t count = numberCount(input.type);
    for (std::size_t i = 0; i < count; ++i) {
        if (input.hasMinimum) {
            (*value)[i] = std::max((*value)[i], input.minimum[i]);
        }
        if (input.hasMaximum) {
            (*value)[i] = std::min((*value)[i], input.maximum[i]);
        }
    }
    if (input.type == IsfInputType::longInt) {
        (*value)[0] = std::trunc(std::clamp((*value)[0], -2147483648.0, 2147483647.0));
        if (!input.values.empty() &&
            std::find(input.values.begin(), input.values.end(), static_cast<int>((*value)[0])) ==
                input.values.end()) {
            return input.defaultValue;
        }
    }
    return *value;
}

ShaderInputValue storedIsfValue(const IsfInput& input, const std::array<double, 4>& value) {
    switch (input.type) {
    case IsfInputType::event:
    case IsfInputType::boolean:
        return ShaderInputValue::ofFlag(value[0] != 0.0);
    case IsfInputType::point2D:
        return ShaderInputValue::ofPoint(value[0], value[1]);
    case IsfInputType::color:
        return ShaderInputValue::ofColor(value[0], value[1], value[2], value[3]);
    case IsfInputType::longInt:
        return ShaderInputValue::ofNumber(std::trunc(value[0]));
    default:
        return ShaderInputValue::ofNumber(value[0]);
    }
}

bool isDefaultIsfValue(const IsfInput& input, const ShaderInputValue& value) {
    if (isImageLike(input.type)) {
        return value.kind == ShaderInputValue::Kind::text && value.text.empty();
    }
    ShaderInputs one;
    one.emplace(input.name, value);
    return fitting(input, value).has_value() && resolvedIsfValue(input, one) == input.defaultValue;
}

std::string_view isfImagePath(const IsfInput& input, const ShaderInputs& stored) {
    const auto it = stored.find(input.name);
    if (!isImageLike(input.type) || it == stored.end() ||
        it->second.kind != ShaderInputValue::Kind::text) {
        return {};
    }
    return it->second.text;
}

std::array<double, 4> fadedIsfValue(const IsfInput& input, const ShaderInputs& from,
                                    const ShaderInputs& to, double p) {
    const bool mixes = input.type == IsfInputType::floating || input.type == IsfInputType::color ||
                       input.type == IsfInputType::point2D;
    if (!mixes) {
        return resolvedIsfValue(input, p < 0.5 ? from : to);
    }
    const std::array<double, 4> a = resolvedIsfValue(input, from);
    const std::array<double, 4> b = resolvedIsfValue(input, to);
    std::array<double, 4> mixed{};
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        mixed[i] = (1.0 - p) * a[i] + p * b[i];
    }
    return mixed;
}

std::string_view fadedIsfImagePath(const IsfInput& input, const ShaderInputs& from,
                                   const ShaderInputs& to, double p) {
    return isfImagePath(input, p < 0.5 ? from : to);
}

} // namespace prismeta
