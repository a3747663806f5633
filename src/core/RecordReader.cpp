#include "core/RecordReader.h"

#include "core/JsonEventParser.h"
#include "core/JsonMessages.h"

namespace prismeta::reading {

// -------------------------------------------------------------------- values

std::string_view typeName(Scalar::Type type) {
    switch (type) {
    case Scalar::Type::null:
        return "null";
    case Scalar::Type::boolean:
        return "a boolean";
    case Scalar::Type::integer:
    case Scalar::Type::unsignedInteger:
    case Scalar::Type::floating:
        return "a number";
    case Scalar::Type::string:
        return "a string";
    }
    return "nothing";
}

std::string_view typeName(Container container) {
    return container == Container::object ? "an object" : "an array";
}

std::string wrongType(std::string_view expected, std::string_view found) {
    std::string text = "expected ";
    text += expected;
    text += ", found ";
    text += found;
    return text;
}

// -------------------------------------------------------------------- frames

void Frame::key(std::string&) {}

void Frame::settle(Outcome) {}

std::string Frame::path() const {
    if (!parent_) {
        return {};
    }
    return key_.empty() ? parent_->path(index_) : parent_->path(key_);
}

std::string Frame::path(std::string_view key) const {
    std::string text = path();
    if (!text.empty()) {
        text += '.';
    }
    text += key;
    return text;
}

std::string Frame::path(std::size_t index) const {
    return path() + "[" + std::to_string(index) + "]";
}

std::string Frame::describe(const std::string& place, std::string_view problem) {
    if (place.empty()) {
        return std::string(problem);
    }
    std::string text = place;
    text += ": ";
    text += problem;
    return text;
}

// ------------------------------------------------------------------- parsing

namespace {

// The parser's events, passed to the frame of the innermost object or array
// being read. Values no frame wants (unknown keys, the rest of a failed
// array) are skipped by counting their depth.
class Handler final : public JsonEvents {
public:
    explicit Handler(const std::function<std::unique_ptr<Frame>()>& root) : root_(root) {}

    // ---- JsonEvents
    bool wantsKey() const override {
        return skipDepth_ == 0 && (stack_.empty() || stack_.back()->wantsKey());
    }
    bool wantsValue() const override {
        return skipDepth_ == 0 && (stack_.empty() || stack_.back()->wantsValue());
    }
    bool takesHugeNumbers() const override {
        return skipDepth_ == 0 && !stack_.empty() && stack_.back()->takesHugeNumbers();
    }
    void null() override {
        Scalar value;
        scalar(value);
    }
    void boolean(bool b) override {
        Scalar value;
        value.type = Scalar::Type::boolean;
        value.boolean = b;
        scalar(value);
    }
    void integer(std::int64_t n) override {
        Scalar value;
        value.type = Scalar::Type::integer;
        value.integer = n;
        scalar(value);
    }
    void unsignedInteger(std::uint64_t n) override {
        Scalar value;
        value.type = Scalar::Type::unsignedInteger;
        value.unsignedInteger = n;
        scalar(value);
    }
    void floating(double n, std::string_view token) override {
        Scalar value;
        value.type = Scalar::Type::floating;
        value.floating = n;
        value.token = token;
        scalar(value);
    }
    void string(std::string& s) override {
        Scalar value;
        value.type = Scalar::Type::string;
        value.text = &s;
        scalar(value);
    }
    void key(std::string& name) override {
        if (skipDepth_ == 0) {
            stack_.back()->key(name);
        }
    }
    void startObject() override { open(Container::object); }
    void endObject() override { close(); }
    void startArray() override { open(Container::array); }
    void endArray() override { close(); }

    // Text that is not JSON: wins over any other problem.
    void notJson(std::string description) { syntax_ = std::move(description); }

    // The description of the read, once the parser is done.
    Outcome finish() {
        if (syntax_) {
            return std::move(syntax_);
        }
        return std::move(outcome_);
    }

private:
    void scalar(Scalar& value) {
        if (skipDepth_ > 0) {
            return;
        }
        if (stack_.empty()) {
            outcome_ = notAnObject(typeName(value.type));
            return;
        }
        stack_.back()->scalar(value);
    }

    void open(Container kind) {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return;
        }
        std::unique_ptr<Frame> child;
        if (stack_.empty()) {
            if (kind == Container::object) {
                child = root_();
            } else {
                outcome_ = notAnObject(typeName(kind));
            }
        } else {
            child = stack_.back()->open(kind);
        }
        if (child) {
            stack_.push_back(std::move(child));
        } else {
            skipDepth_ = 1;
        }
    }

    void close() {
        if (skipDepth_ > 0) {
            --skipDepth_;
            return;
        }
        Outcome outcome = stack_.back()->close();
        stack_.pop_back();
        if (stack_.empty()) {
            outcome_ = std::move(outcome);
        } else {
            stack_.back()->settle(std::move(outcome));
        }
    }

    static std::string notAnObject(std::string_view found) {
        return "the document is " + std::string(found) + ", not a JSON object";
    }

    const std::function<std::unique_ptr<Frame>()>& root_;
    std::vector<std::unique_ptr<Frame>> stack_;
    std::size_t skipDepth_ = 0;
    Outcome outcome_;
    Outcome syntax_;
};

// The JSON library's SAX interface in front of a Handler.
class LibraryEvents {
public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    LibraryEvents(std::string_view bytes, Handler& handler) : bytes_(bytes), handler_(handler) {}

    bool null() { return handler_.null(), true; }
    bool boolean(bool value) { return handler_.boolean(value), true; }
    bool number_integer(number_integer_t n) { return handler_.integer(n), true; }
    bool number_unsigned(number_unsigned_t n) { return handler_.unsignedInteger(n), true; }
    bool number_float(number_float_t n, const string_t& token) {
        return handler_.floating(n, token), true;
    }
    bool string(string_t& text) { return handler_.string(text), true; }
    bool binary(binary_t&) { return handler_.null(), true; }
    bool start_object(std::size_t) { return handler_.startObject(), true; }
    bool key(string_t& name) { return handler_.key(name), true; }
    bool end_object() { return handler_.endObject(), true; }
    bool start_array(std::size_t) { return handler_.startArray(), true; }
    bool end_array() { return handler_.endArray(), true; }
    bool parse_error(std::size_t, const std::string&, const json::exception& error) {
        if (dynamic_cast<const json::out_of_range*>(&error)) {
            handler_.notJson(describeOutOfRange(bytes_, withoutExceptionTag(error.what())));
        } else {
            handler_.notJson("not valid JSON: " + withoutExceptionTag(error.what()));
        }
        return false;
    }

private:
    std::string_view bytes_;
    Handler& handler_;
};

} // namespace

Outcome parseDocument(std::string_view bytes, const std::function<std::unique_ptr<Frame>()>& root) {
    {
        Handler handler(root);
        if (parseJsonEvents(bytes, handler)) {
            return handler.finish();
        }
    }
    // Not JSON as far as the quick parser can tell (or a number at the edge of
    // a double's range): the JSON library reads it again, to word the problem
    // (with its line and column) as users have always seen it, or to read the
    // records should it find the text sound after all. Its parser keeps every
    // byte since the last scalar for its messages, so it is not the first
    // choice for large files.
    Handler handler(root);
    LibraryEvents events(bytes, handler);
    json::sax_parse(bytes.begin(), bytes.end(), &events);
    return handler.finish();
}

} // namespace prismeta::reading
