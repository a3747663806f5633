#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace prismeta {

// Texts shared by the project file's reader and writer when they describe a
// value or a parser's complaint to the user.

// A double as the shortest text that reads back to it; "nan", "inf", "-inf".
std::string describeNumber(double value);

// A JSON library message without its "[json.exception.parse_error.101] " tag.
std::string withoutExceptionTag(const char* what);

// "line 3, column 7" (both from 1) of a byte offset in bytes.
std::string lineAndColumn(std::string_view bytes, std::size_t offset);

// The parser's message for a number too large for a double ("number overflow
// parsing '1e400'") names the token but not its place: finds the token in
// bytes to say where it is.
std::string describeOutOfRange(std::string_view bytes, const std::string& message);

} // namespace prismeta
