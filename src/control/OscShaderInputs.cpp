#include "control/OscShaderInputs.h"

#include "core/FileIO.h"
#include "isf/IsfInputValues.h"

#include <algorithm>
#include <cmath>

namespace prismeta {

std::shared_ptr<const IsfShader> ShaderHeaders::find(const std::string& path, std::string& why) {
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(path, error);
    if (error) {
        why = "the shader " + path + " cannot be read (" + error.message() + ")";
        return nullptr;
    }
    if (const auto it = entries_.find(path);
        it != entries_.end() && it->second.modified == modified) {
        why = it->second.error;
        return it->second.shader;
    }
    if (entries_.size() >= maxEntries) {
        entries_.clear();
    }
    Entry entry;
    entry.modified = modified;
    Result<std::string> text = readRegularFile(path, maxIsfSourceBytes);
    if (!text) {
        entry.error = "the shader " + path + " cannot be read (" + text.error() + ")";
    } else if (Result<IsfShader> shader = parseIsfShader(text.value()); !shader) {
        entry.error = "the shader " + path + ": " + shader.error();
    } else {
        entry.shader = std::make_shared<const IsfShader>(std::move(shader).value());
    }
    why = entry.error;
    auto shader = entry.shader;
    entries_.insert_or_assign(path, std::move(entry));
    return shader;
}

Result<std::optional<ShaderInputValue>> shaderInputEdit(const IsfInput& input,
                                                        const OscMessage& message) {
    using Edit = Result<std::optional<ShaderInputValue>>;
    const OscArguments& args = message.arguments;
    const std::string tags = args.empty() ? std::string("no arguments") : typeTags(args);
    const auto numbers = [&](std::size_t low, std::size_t high, std::array<double, 4>& into) {
        if (args.size() < low || args.size() > high) {
            return false;
        }
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::optional<double> n = args[i].number();
            if (!n || !std::isfinite(*n)) {
                return false;
            }
            into[i] = *n;
        }
        return true;
    };
    std::array<double, 4> value{};
    const auto stored = [&input](const std::array<double, 4>& v) -> Edit {
        ShaderInputValue candidate = storedIsfValue(input, v);
        // Kept within the header's range, as the renderer reads it.
        ShaderInputs one{{input.name, candidate}};
        candidate = storedIsfValue(input, resolvedIsfValue(input, one));
        if (isDefaultIsfValue(input, candidate)) {
            return std::optional<ShaderInputValue>();
        }
        return std::optional<ShaderInputValue>(candidate);
    };
    switch (input.type) {
    case IsfInputType::event:
        return Edit::failure("an event fires for one frame and is not stored");
    case IsfInputType::boolean:
        if (args.size() == 1 && (args[0].tag == 'T' || args[0].tag == 'F')) {
            value[0] = args[0].tag == 'T' ? 1.0 : 0.0;
            return stored(value);
        }
        if (numbers(1, 1, value)) {
            return stored(value);
        }
        return Edit::failure("takes i, f, T or F, got " + tags);
    case IsfInputType::longInt:
        if (!numbers(1, 1, value)) {
            return Edit::failure("takes i or f, got " + tags);
        }
        value[0] = std::trunc(value[0]);
        if (!input.values.empty() &&
            std::find(input.values.begin(), input.values.end(), value[0]) == input.values.end()) {
            return Edit::failure("is not one of the input's values");
        }
        return stored(value);
    case IsfInputType::floating:
        if (!numbers(1, 1, value)) {
            return Edit::failure("takes f, got " + tags);
        }
        return stored(value);
    case IsfInputType::point2D:
        if (!numbers(2, 2, value)) {
            return Edit::failure("takes ff, got " + tags);
        }
        return stored(value);
    case IsfInputType::color:
        value[3] = 1.0;
        if (!numbers(3, 4, value)) {
            return Edit::failure("takes ffff or fff, got " + tags);
        }
        return stored(value);
    case IsfInputType::image:
    case IsfInputType::audio:
    case IsfInputType::audioFFT:
        if (input.type != IsfInputType::image) {
            return Edit::failure("audio inputs are fed silence and take nothing");
        }
        if (args.size() != 1 || args[0].string() == nullptr) {
            return Edit::failure("takes s, got " + tags);
        }
        if (args[0].string()->empty()) {
            return std::optional<ShaderInputValue>();
        }
        return std::optional<ShaderInputValue>(ShaderInputValue::ofText(*args[0].string()));
    }
    return Edit::failure("takes nothing");
}

bool shaderEventFires(const OscMessage& message) {
    const OscArguments& args = message.arguments;
    if (args.size() != 1) {
        return true;
    }
    if (args[0].tag == 'F') {
        return false;
    }
    const std::optional<double> n = args[0].number();
    return !n || *n != 0.0;
}

OscArguments shaderInputAnswer(const IsfInput& input, const ShaderInputs& stored) {
    if (input.type == IsfInputType::image) {
        return {OscArgument::text(std::string(isfImagePath(input, stored)))};
    }
    const std::array<double, 4> v = resolvedIsfValue(input, stored);
    switch (input.type) {
    case IsfInputType::event:
    case IsfInputType::boolean:
    case IsfInputType::longInt:
        return {OscArgument::int32(static_cast<std::int32_t>(v[0]))};
    case IsfInputType::floating:
        return {OscArgument::float32(static_cast<float>(v[0]))};
    case IsfInputType::point2D:
        return {OscArgument::float32(static_cast<float>(v[0])),
                OscArgument::float32(static_cast<float>(v[1]))};
    case IsfInputType::color:
        return {OscArgument::float32(static_cast<float>(v[0])),
                OscArgument::float32(static_cast<float>(v[1])),
                OscArgument::float32(static_cast<float>(v[2])),
                OscArgument::float32(static_cast<float>(v[3]))};
    default:
        return {};
    }
}

} // namespace prismeta
