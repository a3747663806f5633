#include "core/RecordReader.h"

#include "core/JsonMessages.h"
#include "core/WholeNumberToken.h"

#include <limits>

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

std::string describeFloatOverflow(double number) {
    return describeNumber(number) + " is outside the 32-bit float range";
}

namespace {

// A number token for a description: as written, or its two ends around "..."
// when it is long (a file may hold a number of millions of digits).
std::string quoteToken(std::string_view token) {
    constexpr std::size_t keep = 24;
    if (token.size() <= 2 * keep + 3) {
        return std::string(token);
    }
    return std::string(token.substr(0, keep)) + "..." +
           std::string(token.substr(token.size() - keep));
}

} // namespace

Problem readWholeNumber(Scalar& value, std::int64_t& out) {
    switch (value.type) {
    case Scalar::Type::integer:
        out = value.integer;
        return std::nullopt;
    case Scalar::Type::unsignedInteger:
        if (value.unsignedInteger >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::to_string(value.unsignedInteger) + " does not fit a 64-bit integer";
        }
        out = static_cast<std::int64_t>(value.unsignedInteger);
        return std::nullopt;
    case Scalar::Type::floating: {
        // The parser hands over a fraction, an exponent, or an integer too
        // large for 64 bits as a double; the token says what was written.
        const WholeNumberToken number = WholeNumberToken::read(value.token);
        switch (number.kind) {
        case WholeNumberToken::Kind::whole:
            out = number.value;
            return std::nullopt;
        case WholeNumberToken::Kind::notWhole:
            return quoteToken(value.token) + " is not a whole number";
        case WholeNumberToken::Kind::outOfRange:
            return quoteToken(value.token) + " does not fit a 64-bit integer";
        }
        return std::nullopt;
    }
    default:
        return wrongType("a whole number", typeName(value.type));
    }
}

void dismantle(json& value) noexcept {
    if (value.is_array()) {
        auto& items = *value.get_ptr<json::array_t*>();
        while (!items.empty()) {
            dismantle(items.back());
            items.pop_back();
        }
    } else if (value.is_object()) {
        auto& members = *value.get_ptr<json::object_t*>();
        while (!members.empty()) {
            const auto first = members.begin();
            dismantle(first->second);
            members.erase(first);
        }
    }
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

// ------------------------------------------------------------------- capture

CaptureFrame::CaptureFrame(json* target, Budget* budget, std::size_t depth, const Frame& parent,
                           std::string_view key)
    : Frame(&parent, key), target_(target), budget_(budget), depth_(depth) {}

std::optional<json> CaptureFrame::capture(Scalar& value, Budget& budget) {
    if (++budget.values > CaptureLimits::maxValues) {
        budget.exceeded = true;
        return std::nullopt;
    }
    switch (value.type) {
    case Scalar::Type::null:
        return json();
    case Scalar::Type::boolean:
        return json(value.boolean);
    case Scalar::Type::integer:
        return json(value.integer);
    case Scalar::Type::unsignedInteger:
        return json(value.unsignedInteger);
    case Scalar::Type::floating:
        return json(value.floating);
    case Scalar::Type::string:
        budget.textBytes += value.text->size();
        if (budget.textBytes > CaptureLimits::maxTextBytes) {
            budget.exceeded = true;
            return std::nullopt;
        }
        return json(std::move(*value.text));
    }
    return std::nullopt;
}

json* CaptureFrame::slot() {
    if (budget_->exceeded) {
        return nullptr;
    }
    if (target_->is_object()) {
        return &(*target_)[pendingKey_];
    }
    target_->push_back(json());
    return &target_->back();
}

void CaptureFrame::key(std::string& name) {
    if (budget_->exceeded) {
        return;
    }
    budget_->textBytes += name.size();
    if (budget_->textBytes > CaptureLimits::maxTextBytes) {
        budget_->exceeded = true;
        return;
    }
    pendingKey_ = std::move(name);
}

void CaptureFrame::scalar(Scalar& value) {
    if (budget_->exceeded) {
        return;
    }
    std::optional<json> captured = capture(value, *budget_);
    if (!captured) {
        return;
    }
    if (json* place = slot()) {
        *place = std::move(*captured);
    }
}

std::unique_ptr<Frame> CaptureFrame::open(Container kind) {
    if (budget_->exceeded) {
        return nullptr;
    }
    if (depth_ >= CaptureLimits::maxDepth || ++budget_->values > CaptureLimits::maxValues) {
        budget_->exceeded = true;
        return nullptr;
    }
    json* place = slot();
    *place = kind == Container::object ? json::object() : json::array();
    return std::make_unique<CaptureFrame>(place, budget_, depth_ + 1, *this, "");
}

// ------------------------------------------------------------------- parsing

namespace {

// The parser's events, passed to the frame of the innermost object or array
// being read. Values no frame wants (unknown keys, the rest of a failed
// array) are skipped by counting their depth.
class Handler {
public:
    using number_integer_t = json::number_integer_t;
    using number_unsigned_t = json::number_unsigned_t;
    using number_float_t = json::number_float_t;
    using string_t = json::string_t;
    using binary_t = json::binary_t;

    Handler(std::string_view bytes, const std::function<std::unique_ptr<Frame>()>& root)
        : bytes_(bytes), root_(root) {}

    bool null() {
        Scalar value;
        return scalar(value);
    }
    bool boolean(bool b) {
        Scalar value;
        value.type = Scalar::Type::boolean;
        value.boolean = b;
        return scalar(value);
    }
    bool number_integer(number_integer_t n) {
        Scalar value;
        value.type = Scalar::Type::integer;
        value.integer = n;
        return scalar(value);
    }
    bool number_unsigned(number_unsigned_t n) {
        Scalar value;
        value.type = Scalar::Type::unsignedInteger;
        value.unsignedInteger = n;
        return scalar(value);
    }
    bool number_float(number_float_t n, const string_t& token) {
        Scalar value;
        value.type = Scalar::Type::floating;
        value.floating = n;
        value.token = token;
        return scalar(value);
    }
    bool string(string_t& s) {
        Scalar value;
        value.type = Scalar::Type::string;
        value.text = &s;
        return scalar(value);
    }
    bool binary(binary_t&) {
        Scalar value;
        return scalar(value);
    }
    bool start_object(std::size_t) { return open(Container::object); }
    bool start_array(std::size_t) { return open(Container::array); }
    bool key(string_t& name) {
        if (skipDepth_ == 0) {
            stack_.back()->key(name);
        }
        return true;
    }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool parse_error(std::size_t, const std::string&, const json::exception& error) {
        if (dynamic_cast<const json::out_of_range*>(&error)) {
            syntax_ = describeOutOfRange(bytes_, withoutExceptionTag(error.what()));
        } else {
            syntax_ = "not valid JSON: " + withoutExceptionTag(error.what());
        }
        return false;
    }

    // The description of the read, once the parser is done.
    Outcome finish() {
        if (syntax_) {
            return std::move(syntax_);
        }
        return std::move(outcome_);
    }

private:
    bool scalar(Scalar& value) {
        if (skipDepth_ > 0) {
            return true;
        }
        if (stack_.empty()) {
            outcome_ = notAnObject(typeName(value.type));
            return true;
        }
        stack_.back()->scalar(value);
        return true;
    }

    bool open(Container kind) {
        if (skipDepth_ > 0) {
            ++skipDepth_;
            return true;
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
        return true;
    }

    bool close() {
        if (skipDepth_ > 0) {
            --skipDepth_;
            return true;
        }
        Outcome outcome = stack_.back()->close();
        stack_.pop_back();
        if (stack_.empty()) {
            outcome_ = std::move(outcome);
        } else {
            stack_.back()->settle(std::move(outcome));
        }
        return true;
    }

    static std::string notAnObject(std::string_view found) {
        return "the document is " + std::string(found) + ", not a JSON object";
    }

    std::string_view bytes_;
    const std::function<std::unique_ptr<Frame>()>& root_;
    std::vector<std::unique_ptr<Frame>> stack_;
    std::size_t skipDepth_ = 0;
    Outcome outcome_;
    Outcome syntax_;
};

} // namespace

Outcome parseDocument(std::string_view bytes, const std::function<std::unique_ptr<Frame>()>& root) {
    Handler handler(bytes, root);
    json::sax_parse(bytes.begin(), bytes.end(), &handler);
    return handler.finish();
}

} // namespace prismeta::reading
