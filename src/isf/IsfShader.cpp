#include "isf/IsfShader.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>

namespace prismeta {

using nlohmann::json;

namespace {

constexpr std::array<std::pair<IsfInputType, std::string_view>, 9> typeTexts = {{
    {IsfInputType::event, "event"},
    {IsfInputType::boolean, "bool"},
    {IsfInputType::longInt, "long"},
    {IsfInputType::floating, "float"},
    {IsfInputType::point2D, "point2D"},
    {IsfInputType::color, "color"},
    {IsfInputType::image, "image"},
    {IsfInputType::audio, "audio"},
    {IsfInputType::audioFFT, "audioFFT"},
}};

// The quoted text of a name for messages, cut short: names come from files.
std::string quotedName(std::string_view text) {
    constexpr std::size_t longest = 40;
    std::string shown(text.substr(0, longest));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '?';
        }
    }
    return "\"" + shown + (text.size() > longest ? "...\"" : "\"");
}

std::string textOr(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<double> finiteNumber(const json& value) {
    if (value.is_boolean()) {
        return value.get<bool>() ? 1.0 : 0.0;
    }
    if (!value.is_number()) {
        return std::nullopt;
    }
    const double number = value.get<double>();
    return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
}

// The numbers of a value of the input's type: one for a scalar, two for a
// point, four for a colour (three take an opaque alpha). None when the value
// has another shape.
std::optional<std::array<double, 4>> valueOfType(IsfInputType type, const json& value) {
    std::array<double, 4> numbers{};
    switch (type) {
    case IsfInputType::event:
    case IsfInputType::boolean:
        if (const auto n = finiteNumber(value)) {
            numbers[0] = *n != 0.0 ? 1.0 : 0.0;
            return numbers;
        }
        return std::nullopt;
    case IsfInputType::longInt:
    case IsfInputType::floating:
        if (const auto n = finiteNumber(value)) {
            numbers[0] = *n;
            return numbers;
        }
        return std::nullopt;
    case IsfInputType::point2D:
    case IsfInputType::color: {
        const std::size_t wanted = type == IsfInputType::point2D ? 2 : 4;
        if (!value.is_array() || value.size() < (wanted == 4 ? 3 : 2) || value.size() > wanted) {
            return std::nullopt;
        }
        numbers[3] = 1.0;
        for (std::size_t i = 0; i < value.size(); ++i) {
            const auto n = finiteNumber(value[i]);
            if (!n || value[i].is_boolean()) {
                return std::nullopt;
            }
            numbers[i] = *n;
        }
        if (wanted == 2) {
            numbers[3] = 0.0;
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

Result<IsfInput> readInput(const json& entry, std::size_t index) {
    if (!entry.is_object()) {
        return Result<IsfInput>::failure("INPUTS[" + std::to_string(index) + "] is not an object");
    }
    IsfInput input;
    input.name = textOr(entry, "NAME");
    if (!isIsfIdentifier(input.name)) {
        return Result<IsfInput>::failure("INPUTS[" + std::to_string(index) + "]: the name " +
                                         quotedName(input.name) + " is not a GLSL identifier");
    }
    const std::string typeText = textOr(entry, "TYPE");
    const auto type = std::find_if(typeTexts.begin(), typeTexts.end(),
                                   [&](const auto& pair) { return pair.second == typeText; });
    if (type == typeTexts.end()) {
        return Result<IsfInput>::failure("input " + quotedName(input.name) +
                                         " has the unknown type " + quotedName(typeText));
    }
    input.type = type->first;
    input.label = textOr(entry, "LABEL");
    if (input.type == IsfInputType::color) {
        input.defaultValue[3] = 1.0;
    }
    const auto read = [&](const char* key, std::array<double, 4>& into) {
        const auto it = entry.find(key);
        if (it == entry.end()) {
            return false;
        }
        if (const auto value = valueOfType(input.type, *it)) {
            into = *value;
            return true;
        }
        return false;
    };
    const bool hasDefault = read("DEFAULT", input.defaultValue);
    input.hasMinimum = read("MIN", input.minimum);
    input.hasMaximum = read("MAX", input.maximum);
    input.hasIdentity = read("IDENTITY", input.identity);
    if (input.hasMinimum && input.hasMaximum) {
        for (std::size_t i = 0; i < 4; ++i) {
            if (input.minimum[i] > input.maximum[i]) {
                std::swap(input.minimum[i], input.maximum[i]);
            }
        }
    }

    if (input.type == IsfInputType::longInt) {
        const auto values = entry.find("VALUES");
        if (values != entry.end() && values->is_array() && values->size() <= maxIsfInputs) {
            for (const json& value : *values) {
                const auto n = finiteNumber(value);
                if (n && *n >= std::numeric_limits<int>::min() &&
                    *n <= std::numeric_limits<int>::max()) {
                    input.values.push_back(static_cast<int>(*n));
                }
            }
        }
        const auto labels = entry.find("LABELS");
        if (labels != entry.end() && labels->is_array() && labels->size() <= maxIsfInputs) {
            for (const json& label : *labels) {
                input.labels.push_back(label.is_string() ? label.get<std::string>()
                                                         : std::string());
            }
        }
        if (!hasDefault && !input.values.empty()) {
            input.defaultValue[0] = input.values.front();
        }
        input.defaultValue[0] =
            std::trunc(std::clamp(input.defaultValue[0], -2147483648.0, 2147483647.0));
    }
    if (input.type == IsfInputType::floating || input.type == IsfInputType::longInt) {
        if (input.hasMinimum && input.defaultValue[0] < input.minimum[0]) {
            input.defaultValue[0] = input.minimum[0];
        }
        if (input.hasMaximum && input.defaultValue[0] > input.maximum[0]) {
            input.defaultValue[0] = input.maximum[0];
        }
    }
    return input;
}

Result<IsfPass> readPass(const json& entry, std::size_t index) {
    if (!entry.is_object()) {
        return Result<IsfPass>::failure("PASSES[" + std::to_string(index) + "] is not an object");
    }
    IsfPass pass;
    pass.target = textOr(entry, "TARGET");
    if (!pass.target.empty() && !isIsfIdentifier(pass.target)) {
        return Result<IsfPass>::failure("PASSES[" + std::to_string(index) + "]: the target " +
                                        quotedName(pass.target) + " is not a GLSL identifier");
    }
    const auto flag = [&entry](const char* key) {
        const auto it = entry.find(key);
        if (it == entry.end()) {
            return false;
        }
        const auto n = finiteNumber(*it);
        if (n) {
            return *n != 0.0;
        }
        return it->is_string() &&
               (it->get<std::string>() == "true" || it->get<std::string>() == "1");
    };
    pass.persistent = flag("PERSISTENT");
    pass.floatingPoint = flag("FLOAT");
    // A size may be an expression or a plain number.
    const auto size = [&entry](const char* key) {
        const auto it = entry.find(key);
        if (it == entry.end()) {
            return std::string();
        }
        if (it->is_string()) {
            return it->get<std::string>();
        }
        if (const auto n = finiteNumber(*it); n && !it->is_boolean()) {
            return json(*n).dump();
        }
        return std::string();
    };
    pass.width = size("WIDTH");
    pass.height = size("HEIGHT");
    return pass;
}

// IMPORTED is an object of {"name": {"PATH": ...}} or an array of
// {"NAME": ..., "PATH": ...} (the older form).
Status readImported(const json& imported, std::vector<IsfImportedImage>& into) {
    const auto add = [&into](std::string name, const json& entry) {
        if (!entry.is_object()) {
            return Status::failure("the imported image " + quotedName(name) + " is not an object");
        }
        if (!isIsfIdentifier(name)) {
            return Status::failure("the imported image name " + quotedName(name) +
                                   " is not a GLSL identifier");
        }
        const std::string path = textOr(entry, "PATH");
        if (path.empty()) {
            return Status::failure("the imported image " + quotedName(name) + " has no PATH");
        }
        into.push_back({std::move(name), path});
        return Status::success();
    };
    if (imported.size() > maxIsfImported) {
        return Status::failure("more than " + std::to_string(maxIsfImported) + " imported images");
    }
    if (imported.is_object()) {
        for (const auto& [name, entry] : imported.items()) {
            if (Status status = add(name, entry); !status) {
                return status;
            }
        }
    } else if (imported.is_array()) {
        for (const json& entry : imported) {
            if (Status status = add(entry.is_object() ? textOr(entry, "NAME") : "", entry);
                !status) {
                return status;
            }
        }
    } else if (!imported.is_null()) {
        return Status::failure("IMPORTED is neither an object nor a list");
    }
    return Status::success();
}

std::vector<std::string> textList(const json& object, const char* key) {
    std::vector<std::string> texts;
    const auto it = object.find(key);
    if (it != object.end() && it->is_array() && it->size() <= maxIsfInputs) {
        for (const json& entry : *it) {
            if (entry.is_string()) {
                texts.push_back(entry.get<std::string>());
            }
        }
    }
    return texts;
}

Result<IsfShader> readHeader(const json& header, IsfShader shader) {
    using Failure = Result<IsfShader>;
    if (!header.is_object()) {
        return Failure::failure("the header is not a JSON object");
    }
    shader.version = textOr(header, "ISFVSN");
    shader.description = textOr(header, "DESCRIPTION");
    shader.credit = textOr(header, "CREDIT");
    shader.categories = textList(header, "CATEGORIES");

    std::set<std::string, std::less<>> names;
    const auto claim = [&names](const std::string& name) { return names.insert(name).second; };

    if (const auto inputs = header.find("INPUTS"); inputs != header.end() && !inputs->is_null()) {
        if (!inputs->is_array()) {
            return Failure::failure("INPUTS is not a list");
        }
        if (inputs->size() > maxIsfInputs) {
            return Failure::failure("more than " + std::to_string(maxIsfInputs) + " inputs");
        }
        for (std::size_t i = 0; i < inputs->size(); ++i) {
            Result<IsfInput> input = readInput((*inputs)[i], i);
            if (!input) {
                return Failure::failure(input.error());
            }
            if (!claim(input->name)) {
                return Failure::failure("the name " + quotedName(input->name) +
                                        " is declared twice");
            }
            shader.inputs.push_back(std::move(input).value());
        }
    }
    if (const auto passes = header.find("PASSES"); passes != header.end() && !passes->is_null()) {
        if (!passes->is_array()) {
            return Failure::failure("PASSES is not a list");
        }
        if (passes->size() > maxIsfPasses) {
            return Failure::failure("more than " + std::to_string(maxIsfPasses) + " passes");
        }
        for (std::size_t i = 0; i < passes->size(); ++i) {
            Result<IsfPass> pass = readPass((*passes)[i], i);
            if (!pass) {
                return Failure::failure(pass.error());
            }
            // Two passes may render into one target; it is declared once.
            const bool seen =
                std::any_of(shader.passes.begin(), shader.passes.end(),
                            [&](const IsfPass& p) { return p.target == pass->target; });
            if (!pass->target.empty() && !seen && !claim(pass->target)) {
                return Failure::failure("the name " + quotedName(pass->target) +
                                        " is declared twice");
            }
            shader.passes.push_back(std::move(pass).value());
        }
    }
    if (shader.passes.empty()) {
        shader.passes.emplace_back();
    }
    if (const auto imported = header.find("IMPORTED"); imported != header.end()) {
        if (Status status = readImported(*imported, shader.imported); !status) {
            return Failure::failure(status.error);
        }
        for (const IsfImportedImage& image : shader.imported) {
            if (!claim(image.name)) {
                return Failure::failure("the name " + quotedName(image.name) +
                                        " is declared twice");
            }
        }
    }
    return shader;
}

} // namespace

std::string_view isfInputTypeText(IsfInputType type) {
    for (const auto& [value, text] : typeTexts) {
        if (value == type) {
            return text;
        }
    }
    return "float";
}

bool isImageLike(IsfInputType type) {
    return type == IsfInputType::image || type == IsfInputType::audio ||
           type == IsfInputType::audioFFT;
}

const IsfInput* IsfShader::input(std::string_view name) const {
    for (const IsfInput& candidate : inputs) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

bool isIsfIdentifier(std::string_view text) {
    if (text.empty() || text.size() > 64 || text.starts_with("gl_") ||
        text.find("__") != std::string_view::npos) {
        return false;
    }
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (!letter(text.front())) {
        return false;
    }
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

Result<IsfShader> parseIsfShader(std::string_view source) {
    using Failure = Result<IsfShader>;
    if (source.size() > maxIsfSourceBytes) {
        return Failure::failure("the file is larger than " +
                                std::to_string(maxIsfSourceBytes >> 20) + " MiB");
    }
    std::size_t start = 0;
    if (source.starts_with("\xEF\xBB\xBF")) {
        start = 3;
    }
    start = source.find_first_not_of(" \t\r\n", start);
    if (start == std::string_view::npos || source.compare(start, 2, "/*") != 0) {
        return Failure::failure("no JSON header comment at the top");
    }
    const std::size_t end = source.find("*/", start + 2);
    if (end == std::string_view::npos) {
        return Failure::failure("the header comment is not closed");
    }
    const std::string_view headerText = source.substr(start + 2, end - start - 2);
    json header;
    try {
        header = json::parse(headerText);
    } catch (const json::exception& error) {
        std::string what = error.what();
        // "[json.exception.parse_error.101] parse error at line 2, ...": the part after the tag.
        if (const std::size_t tag = what.find("] "); tag != std::string::npos) {
            what.erase(0, tag + 2);
        }
        return Failure::failure("the header is not JSON (" + what + ")");
    }
    IsfShader shader;
    shader.code = std::string(source.substr(end + 2));
    shader.codeFirstLine =
        1 + static_cast<int>(std::count(source.begin(),
                                        source.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
    try {
        return readHeader(header, std::move(shader));
    } catch (const json::exception& error) {
        return Failure::failure(std::string("the header could not be read (") + error.what() + ")");
    }
}

} // namespace prismeta
