#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace prismeta {

// Writes JSON text straight into a string, in the very bytes the JSON
// library's dump(2) gives for the same document: two spaces a level, members
// as `"key": value`, empty objects and arrays as {} and [], doubles in the
// library's shortest text (1920.0, 0.75, 1e-05), texts escaped as it escapes
// them. No document tree is built, so writing costs the text and nothing more.
//
// The caller writes the structure: key() before every member of an object (in
// the sorted order the library keeps), element() before every element of an
// array, then the value. Keys are written as given (ASCII names needing no
// escapes). The string grows as text is written; std::bad_alloc passes through.
// One thread; the writer only appends to the string it is handed.
//
// Layout::compact gives dump(-1)'s bytes instead: one line, no spaces.
class JsonTextWriter {
public:
    enum class Layout { indented, compact };

    explicit JsonTextWriter(std::string& out, Layout layout = Layout::indented)
        : out_(out), compact_(layout == Layout::compact) {}

    void beginObject() { begin('{'); }
    void endObject() { end('}'); }
    void beginArray() { begin('['); }
    void endArray() { end(']'); }

    void key(std::string_view name);
    // A key that may need escaping (a name from a file); false as text().
    [[nodiscard]] bool textKey(std::string_view name);
    void element() { separate(); }

    // A finite double (the caller checks); an integer; a boolean.
    void number(double value);
    void number(std::int64_t value);
    void boolean(bool value) { out_ += value ? "true" : "false"; }
    // False, having written it unescaped, when text is not valid UTF-8: the
    // library refuses to write such a document at all.
    [[nodiscard]] bool text(std::string_view text);

private:
    void begin(char bracket);
    void end(char bracket);
    void separate();
    void newLine();

    std::string& out_;
    bool compact_ = false;
    int depth_ = 0;
    // No member or element written yet in the innermost object or array.
    bool empty_ = true;
};

} // namespace prismeta
