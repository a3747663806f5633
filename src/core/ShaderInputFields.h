#pragma once

// The value of a "shaderInputs" key (of a surface, or of a cue's look), read
// leniently: an entry that is none of a flag, a finite number, two to four
// finite numbers or a text is left out with the rest kept, and anything but
// an object reads as no values.

#include "core/ShaderInputValue.h"

#include <nlohmann/json.hpp>

namespace prismeta::reading {

ShaderInputs shaderInputsFrom(const nlohmann::json& value);

} // namespace prismeta::reading
