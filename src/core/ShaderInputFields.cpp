#include "core/ShaderInputFields.h"

#include <algorithm>
#include <cmath>

namespace prismeta::reading {

ShaderInputs shaderInputsFrom(const nlohmann::json& value) {
    using nlohmann::json;
    ShaderInputs inputs;
    if (!value.is_object()) {
        return inputs;
    }
    for (const auto& [name, entry] : value.items()) {
        if (entry.is_boolean()) {
            inputs[name] = ShaderInputValue::ofFlag(entry.get<bool>());
        } else if (entry.is_number() && std::isfinite(entry.get<double>())) {
            inputs[name] = ShaderInputValue::ofNumber(entry.get<double>());
        } else if (entry.is_string()) {
            inputs[name] = ShaderInputValue::ofText(entry.get<std::string>());
        } else if (entry.is_array() && entry.size() >= 2 && entry.size() <= 4 &&
                   std::all_of(entry.begin(), entry.end(), [](const json& n) {
                       return n.is_number() && std::isfinite(n.get<double>());
                   })) {
            ShaderInputValue numbers;
            numbers.kind = ShaderInputValue::Kind::numbers;
            numbers.count = static_cast<int>(entry.size());
            for (std::size_t i = 0; i < entry.size(); ++i) {
                numbers.numbers[i] = entry[i].get<double>();
            }
            inputs[name] = numbers;
        }
    }
    return inputs;
}

} // namespace prismeta::reading
