#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace prismeta {

// Receives the values of a JSON text in document order as a parser reads
// them. Strings are handed over in a buffer the receiver may move from.
class JsonEvents {
public:
    virtual ~JsonEvents() = default;

    // Whether the next key, or the next scalar value, is wanted. One that is
    // not is checked but neither built nor handed over, so values the
    // receiver skips cost nothing. Objects and arrays are always reported.
    virtual bool wantsKey() const = 0;
    virtual bool wantsValue() const = 0;
    // Whether a number too large for a double (1e400) is taken here, as an
    // infinity of its sign handed over by floating() with its text. By
    // default it is refused, as the JSON library refuses it.
    virtual bool takesHugeNumbers() const { return false; }

    virtual void null() = 0;
    virtual void boolean(bool value) = 0;
    // A number without fraction or exponent that fits: negative ones as
    // integer, the others as unsignedInteger (as the JSON library reads them).
    virtual void integer(std::int64_t value) = 0;
    virtual void unsignedInteger(std::uint64_t value) = 0;
    // Any other number, with its text as written.
    virtual void floating(double value, std::string_view token) = 0;
    virtual void string(std::string& text) = 0;
    virtual void key(std::string& name) = 0;
    virtual void startObject() = 0;
    virtual void endObject() = 0;
    virtual void startArray() = 0;
    virtual void endArray() = 0;
};

// Reads bytes as one JSON text (RFC 8259: a UTF-8 byte-order mark may lead,
// no comments, nothing but whitespace after the value, or a NUL byte and
// anything after it, as the JSON library reads it) and reports every
// value to events as it is read. Memory: the string being built and one bit
// per level of nesting, nothing else; an unwanted string costs nothing.
//
// Returns false, at the first place it cannot read, for text that is not
// JSON, and for a number too large for a double where events does not take
// it (one too small reads as zero, as in the library); events then has seen a
// part of the text. The JSON library is the judge of such text and words its
// problems for users: this parser only decides quickly that a text is fine.
bool parseJsonEvents(std::string_view bytes, JsonEvents& events);

} // namespace prismeta
