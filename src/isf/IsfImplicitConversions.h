#pragma once

#include <string>
#include <string_view>

namespace prismeta {

// A letter, digit or underscore: part of a GLSL identifier.
bool glslIdentifierChar(char c);

// Many ISF shaders were written against compilers that took GLSL more
// loosely than GLSL 3.30 core does: an int returned from a float function,
// an int literal compared with, added to or stored in a uint, an int
// expression stored in a uint variable. GLSL 4 makes those conversions
// implicitly; GLSL 3.30 (and Mesa) refuse them. This pass writes them out
// where the types involved are known from the code's own declarations:
//
// - `return e;` in a function declared to return float or uint becomes
//   `return isf_float(e);` (isf_uint): overloads taking exactly float, int
//   and uint (uint and int), so a value of the right type passes unchanged
//   and one no implicit conversion could reach (a bool, a vector) is still
//   an error.
// - An integer literal beside a binary arithmetic, bitwise, comparison or
//   assignment operator whose other operand is a uint or uvec (a variable,
//   its swizzle or element, a call of a function declared to return one, a
//   uint constructor) takes the `u` suffix. Only the literal's type changes,
//   never its value: where the operator's real operand is a float instead
//   (precedence), a uint literal converts to the same float an int did.
//   A literal under a unary minus is left alone (its uint would be huge).
// - `x = e` (or the initializer) where x is a scalar uint variable becomes
//   `x = isf_uint(e)`, unless e is a literal or already a uint.
//
// Every rewrite is the identity on code GLSL 3.30 already accepts: there the
// types match, so the overloads return their argument, and a literal beside
// a uint operand was an error. Comments and preprocessor lines are copied as
// they are, and line breaks are kept, so compiler line numbers hold. Types
// come from declarations by name: a name declared with different types in
// different places is taken as unknown and left alone.
struct ConvertedGlsl {
    std::string code;
    std::string helpers; // definitions of the isf_ overloads the code now calls
};

ConvertedGlsl makeConversionsExplicit(std::string_view code);

} // namespace prismeta
