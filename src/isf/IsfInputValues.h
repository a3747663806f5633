#pragma once

#include "core/ShaderInputValue.h"
#include "isf/IsfShader.h"

#include <array>
#include <string_view>

namespace prismeta {

// Between the values a surface stores (ShaderInputs) and the numbers a
// shader's uniforms get. Pure functions; any thread; no allocation except
// where a ShaderInputValue is made.

// The input's value for the surface in four numbers (see IsfInput): the
// stored one where its shape fits the type, kept within MIN and MAX (a long
// with VALUES only takes one of them), and the default otherwise.
std::array<double, 4> resolvedIsfValue(const IsfInput& input, const ShaderInputs& stored);

// The input's value part way through a cue's fade (p from 0 to 1) from one
// surface's values to another's, each resolved as above: floats, colours and
// points mix linearly, every other type switches at p = 0.5.
std::array<double, 4> fadedIsfValue(const IsfInput& input, const ShaderInputs& from,
                                    const ShaderInputs& to, double p);

// The image input's file part way through a fade: from's before the middle.
std::string_view fadedIsfImagePath(const IsfInput& input, const ShaderInputs& from,
                                   const ShaderInputs& to, double p);

// The stored form of a value of the input's type (four numbers as above).
ShaderInputValue storedIsfValue(const IsfInput& input, const std::array<double, 4>& value);

// Whether the stored value means the input's default, so an editor removes
// it rather than writing it into the file.
bool isDefaultIsfValue(const IsfInput& input, const ShaderInputValue& value);

// The file an image input shows: the stored text, or empty.
std::string_view isfImagePath(const IsfInput& input, const ShaderInputs& stored);

} // namespace prismeta
