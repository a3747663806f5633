#pragma once

// Reads a JSON document straight into records while the parser walks it
// (nlohmann's SAX interface). No document tree is built: memory is the
// records themselves plus the one token being read, so a file needs a small
// multiple of its own size. Keys a record does not know are skipped as they
// stream past, with everything under them, at no cost in memory.
//
// Each record type R read this way has a Schema<R>: a table of its keys, in
// the order their problems are reported when several keys have one. The
// rules of the reading are the same for every record:
//   - text that is not JSON fails the whole read, before any other problem;
//   - of duplicate keys the last one wins, problems included;
//   - a required key that is missing fails the record ("missing required key");
//   - an optional key that is missing or null leaves the record's default;
//   - a value of the wrong type or range fails with its key path
//     ("surfaces[1].mediaKind: \"Video\" is not a media kind");
//   - in an array of records the first failing element is reported.
//
// Adding an optional key to a record is one line in its table:
//
//     number<&OutputConfig::blendGamma>("blendGamma", Presence::optional),
//
// reads a finite number into a float or double member (floats within the
// 32-bit range), keeps the member's default when the key is absent or null,
// and fails the read on any other value. text<>, wholeNumber<>, record<>
// (a nested object with its own Schema) and list<> (an array of records) work
// the same way; parsed<&R::member, function> converts a scalar with a
// function of your own (see the id and media kind of ProjectFileReader.cpp).
//
// A key whose value must never fail the load (a bad value only means "not
// set") is read leniently:
//
//     lenient<OutputConfig, applyDisplay>("display"),
//
// with `void applyDisplay(OutputConfig&, const nlohmann::json& value)`. The
// value arrives as a small JSON tree (any type: check it), or as null when
// the key is null, absent after all, or larger than the capture limits below;
// the function must then set the member to its "not set" state, since of
// duplicate keys only the last one counts. A json::exception thrown by the
// function (value() on a wrong type, say) reads as null. The table order is
// the order of checks, so new keys go where their problems should rank
// (usually last).
//
// One reading at a time per Handler; any thread, nothing shared but the
// per-type defaults (built once, read-only after).

#include "core/Result.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace prismeta::reading {

using nlohmann::json;

// ------------------------------------------------------------------- values

// One scalar value as the parser hands it over.
struct Scalar {
    enum class Type { null, boolean, integer, unsignedInteger, floating, string };
    Type type = Type::null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::uint64_t unsignedInteger = 0;
    double floating = 0.0;
    std::string_view token;      // floating: the number as written in the file
    std::string* text = nullptr; // string: the parser's buffer, which rules may move from

    bool isNumber() const {
        return type == Type::integer || type == Type::unsignedInteger || type == Type::floating;
    }
    // Any number as a double, as a JSON library converts it.
    double number() const {
        switch (type) {
        case Type::integer:
            return static_cast<double>(integer);
        case Type::unsignedInteger:
            return static_cast<double>(unsignedInteger);
        default:
            return floating;
        }
    }
};

enum class Container { object, array };

// "null", "a boolean", "a number", "a string", "an object", "an array".
std::string_view typeName(Scalar::Type type);
std::string_view typeName(Container container);

// What is wrong with one value, without its place ("expected a number, found
// a string"); nothing when the value was read.
using Problem = std::optional<std::string>;
// How a whole value ended, as the read's description would carry it (with the
// key path); nothing when it was read.
using Outcome = std::optional<std::string>;

std::string wrongType(std::string_view expected, std::string_view found);

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float, every double from it up to infinity.
// Comparing against the largest float itself would refuse its own shortest
// text, 3.4028235e+38, which reads as a double just above it.
inline constexpr double floatOverflowThreshold = 3.4028235677973366e38;

// "1e+39 is outside the 32-bit float range".
std::string describeFloatOverflow(double number);

// A JSON tree captured for lenient reading emptied from the leaves up. A
// tree's own destructor allocates a work list, which would end the process
// when memory runs out during unwinding.
void dismantle(json& value) noexcept;

// -------------------------------------------------------------------- frames

// The reader of one object or array of the document while the parser is
// inside it. Frames form a chain to the root, which also names the place of a
// value in descriptions ("surfaces[1].mediaKind").
class Frame {
public:
    Frame(const Frame* parent, std::string_view key) : parent_(parent), key_(key) {}
    Frame(const Frame* parent, std::size_t index) : parent_(parent), index_(index) {}
    virtual ~Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // The key of the next member (objects only).
    virtual void key(std::string& name);
    // A scalar as the next member or element.
    virtual void scalar(Scalar& value) = 0;
    // An object or array as the next member or element: the frame that reads
    // it, or null to skip it (with everything under it).
    virtual std::unique_ptr<Frame> open(Container kind) = 0;
    // The outcome of the frame that open() returned last, once it closed.
    virtual void settle(Outcome outcome);
    // The end of this frame's own object or array.
    virtual Outcome close() = 0;

    // "surfaces[1]"; empty at the root.
    std::string path() const;
    std::string path(std::string_view key) const;
    std::string path(std::size_t index) const;
    // "place: problem", or the problem alone at the root.
    static std::string describe(const std::string& place, std::string_view problem);

private:
    const Frame* parent_ = nullptr;
    std::string_view key_; // empty for an element or the root
    std::size_t index_ = 0;
};

// ------------------------------------------------------------------- schemas

enum class Presence { required, optional };

// One key of a record and how its value is read.
template <class R> struct Field {
    std::string_view key;
    Presence presence = Presence::required;
    // What the key takes, for "expected a number, found an object".
    std::string_view expected;
    // Reads a scalar into the record.
    Problem (*read)(R& record, Scalar& value) = nullptr;
    // The frame that reads an object or array into the record, or null when
    // the key takes no such value (null function or null result).
    std::unique_ptr<Frame> (*open)(R& record, Container kind, const Frame& parent,
                                   std::string_view key) = nullptr;
    // Back to the record's default, for an optional key that is null.
    void (*reset)(R& record) = nullptr;
};

// Specialised for every record type read: `static constexpr std::array
// fields{...}`, and optionally `static R blank()` when R's default
// constructor is not the value to start from (a random id, say).
template <class R> struct Schema;

// The value a record starts from before its keys are read.
template <class R> const R& defaults() {
    static const R value = [] {
        if constexpr (requires { Schema<R>::blank(); }) {
            return Schema<R>::blank();
        } else {
            return R{};
        }
    }();
    return value;
}

template <class R> class RecordFrame final : public Frame {
public:
    template <class Place>
    RecordFrame(R& target, const Frame* parent, Place place)
        : Frame(parent, place), target_(target) {}

    void key(std::string& name) override {
        pending_ = none;
        for (std::size_t i = 0; i < fieldCount; ++i) {
            if (fields()[i].key == name) {
                pending_ = i;
                return;
            }
        }
    }

    void scalar(Scalar& value) override {
        if (pending_ == none) {
            return;
        }
        const Field<R>& field = fields()[pending_];
        if (value.type == Scalar::Type::null && field.presence == Presence::optional) {
            field.reset(target_);
            store(pending_, State::absent, std::nullopt);
            return;
        }
        Problem problem = field.read(target_, value);
        if (problem) {
            store(pending_, State::failed, describe(path(field.key), *problem));
        } else {
            store(pending_, State::present, std::nullopt);
        }
    }

    std::unique_ptr<Frame> open(Container kind) override {
        if (pending_ == none) {
            return nullptr;
        }
        const Field<R>& field = fields()[pending_];
        std::unique_ptr<Frame> child;
        if (field.open) {
            child = field.open(target_, kind, *this, field.key);
        }
        if (!child) {
            store(pending_, State::failed,
                  describe(path(field.key), wrongType(field.expected, typeName(kind))));
        }
        return child;
    }

    void settle(Outcome outcome) override {
        if (outcome) {
            store(pending_, State::failed, std::move(outcome));
        } else {
            store(pending_, State::present, std::nullopt);
        }
    }

    Outcome close() override {
        for (std::size_t i = 0; i < fieldCount; ++i) {
            const Field<R>& field = fields()[i];
            if (states_[i] == State::absent && field.presence == Presence::required) {
                return describe(path(), "missing required key \"" + std::string(field.key) + "\"");
            }
            if (states_[i] == State::failed) {
                return std::move(problems_[i]);
            }
        }
        return std::nullopt;
    }

private:
    static constexpr const auto& fields() { return Schema<R>::fields; }
    static constexpr std::size_t fieldCount = std::tuple_size_v<decltype(Schema<R>::fields)>;
    static constexpr std::size_t none = fieldCount;
    enum class State : unsigned char { absent, present, failed };

    void store(std::size_t index, State state, Outcome problem) {
        states_[index] = state;
        if (problem) {
            problems_[index] = std::move(*problem);
        } else {
            std::string().swap(problems_[index]);
        }
    }

    R& target_;
    std::size_t pending_ = none;
    std::array<State, fieldCount> states_{};
    std::array<std::string, fieldCount> problems_;
};

// An array whose elements are records of type T.
template <class T> class ListFrame final : public Frame {
public:
    ListFrame(std::vector<T>& target, const Frame& parent, std::string_view key)
        : Frame(&parent, key), target_(target) {}

    void scalar(Scalar& value) override { fail(next_++, typeName(value.type)); }

    std::unique_ptr<Frame> open(Container kind) override {
        const std::size_t index = next_++;
        if (failure_) {
            return nullptr;
        }
        if (kind != Container::object) {
            fail(index, typeName(kind));
            return nullptr;
        }
        target_.push_back(defaults<T>());
        return std::make_unique<RecordFrame<T>>(target_.back(), this, index);
    }

    void settle(Outcome outcome) override {
        if (outcome && !failure_) {
            failure_ = std::move(outcome);
        }
    }

    Outcome close() override { return std::move(failure_); }

private:
    void fail(std::size_t index, std::string_view found) {
        if (!failure_) {
            failure_ = describe(path(index), wrongType("an object", found));
        }
    }

    std::vector<T>& target_;
    std::size_t next_ = 0;
    Outcome failure_;
};

// How much a lenient key may hold. A captured value that goes beyond any of
// these is dropped whole (read as null), and the rest of it is skipped.
struct CaptureLimits {
    static constexpr std::size_t maxValues = 256;
    static constexpr std::size_t maxTextBytes = 4096;
    static constexpr std::size_t maxDepth = 8;
};

// Builds a small JSON tree from the events under one lenient key.
class CaptureFrame : public Frame {
public:
    struct Budget {
        std::size_t values = 0;
        std::size_t textBytes = 0;
        bool exceeded = false;
    };

    CaptureFrame(json* target, Budget* budget, std::size_t depth, const Frame& parent,
                 std::string_view key);

    void key(std::string& name) override;
    void scalar(Scalar& value) override;
    std::unique_ptr<Frame> open(Container kind) override;
    Outcome close() override { return std::nullopt; }

    // The scalar as a JSON value, or nothing when it is over budget.
    static std::optional<json> capture(Scalar& value, Budget& budget);

protected:
    // Where the next value goes in target_, or null when over budget.
    json* slot();

    json* target_;
    Budget* budget_;

private:
    std::size_t depth_;
    std::string pendingKey_;
};

// The outermost object or array of a lenient key: hands the finished tree to
// Apply, and dismantles it.
template <class R, void (*Apply)(R&, const json&)> class LenientFrame final : public CaptureFrame {
public:
    LenientFrame(R& record, Container kind, const Frame& parent, std::string_view key)
        : CaptureFrame(nullptr, nullptr, 1, parent, key), record_(record) {
        root_ = kind == Container::object ? json::object() : json::array();
        target_ = &root_;
        budget_ = &budget_storage_;
    }
    ~LenientFrame() override { dismantle(root_); }

    Outcome close() override {
        applyLeniently(record_, budget_storage_.exceeded ? nullValue() : root_);
        return std::nullopt;
    }

    static void applyLeniently(R& record, const json& value) {
        try {
            Apply(record, value);
        } catch (const json::exception&) {
            Apply(record, nullValue());
        }
    }

private:
    static const json& nullValue() {
        static const json value;
        return value;
    }

    R& record_;
    json root_;
    Budget budget_storage_;
};

// --------------------------------------------------------------------- rules

template <class M> struct MemberPointer;
template <class R, class T> struct MemberPointer<T R::*> {
    using Record = R;
    using Type = T;
};

template <class T> struct Unwrapped {
    using Type = T;
    static constexpr bool optional = false;
};
template <class T> struct Unwrapped<std::optional<T>> {
    using Type = T;
    static constexpr bool optional = true;
};

// What every rule on a member shares: the record type, the value type (the
// member's, or what its std::optional holds) and the reset to the default.
template <auto Member> struct MemberRule {
    using Record = typename MemberPointer<decltype(Member)>::Record;
    using Stored = typename MemberPointer<decltype(Member)>::Type;
    using Value = typename Unwrapped<Stored>::Type;
    static void reset(Record& record) { record.*Member = defaults<Record>().*Member; }
};

template <auto Member> struct NumberRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    static_assert(std::is_same_v<typename Base::Value, float> ||
                  std::is_same_v<typename Base::Value, double>);
    static Problem read(typename Base::Record& record, Scalar& value) {
        if (!value.isNumber()) {
            return wrongType("a number", typeName(value.type));
        }
        const double number = value.number();
        if constexpr (std::is_same_v<typename Base::Value, float>) {
            if (!(std::fabs(number) < floatOverflowThreshold)) {
                return describeFloatOverflow(number);
            }
            record.*Member = static_cast<float>(number);
        } else {
            record.*Member = number;
        }
        return std::nullopt;
    }
};

template <auto Member> struct TextRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    static_assert(std::is_same_v<typename Base::Value, std::string>);
    static Problem read(typename Base::Record& record, Scalar& value) {
        if (value.type != Scalar::Type::string) {
            return wrongType("a string", typeName(value.type));
        }
        record.*Member = std::move(*value.text);
        return std::nullopt;
    }
};

// "expected a whole number", "3.5 is not a whole number", "... does not fit a
// 64-bit integer"; the token is judged exactly as written.
Problem readWholeNumber(Scalar& value, std::int64_t& out);

template <auto Member> struct WholeNumberRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    static_assert(std::is_same_v<typename Base::Value, std::int64_t>);
    static Problem read(typename Base::Record& record, Scalar& value) {
        std::int64_t number = 0;
        Problem problem = readWholeNumber(value, number);
        if (!problem) {
            record.*Member = number;
        }
        return problem;
    }
};

// A scalar converted by Parse, `Problem Parse(Scalar&, Value&)`.
template <auto Member, auto Parse> struct ParsedRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    static Problem read(typename Base::Record& record, Scalar& value) {
        typename Base::Value parsed{};
        Problem problem = Parse(value, parsed);
        if (!problem) {
            record.*Member = std::move(parsed);
        }
        return problem;
    }
};

// A nested object read by its own Schema.
template <auto Member> struct RecordRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    using Value = typename Base::Value;
    static Problem read(typename Base::Record&, Scalar& value) {
        return wrongType("an object", typeName(value.type));
    }
    static std::unique_ptr<Frame> open(typename Base::Record& record, Container kind,
                                       const Frame& parent, std::string_view key) {
        if (kind != Container::object) {
            return nullptr;
        }
        Value* target = nullptr;
        if constexpr (Unwrapped<typename Base::Stored>::optional) {
            target = &(record.*Member).emplace(defaults<Value>());
        } else {
            record.*Member = defaults<Value>();
            target = &(record.*Member);
        }
        return std::make_unique<RecordFrame<Value>>(*target, &parent, key);
    }
};

// An array of records, each read by its own Schema.
template <auto Member> struct ListRule : MemberRule<Member> {
    using Base = MemberRule<Member>;
    using Element = typename Base::Value::value_type;
    static_assert(std::is_same_v<typename Base::Stored, std::vector<Element>>);
    static Problem read(typename Base::Record&, Scalar& value) {
        return wrongType("an array", typeName(value.type));
    }
    static std::unique_ptr<Frame> open(typename Base::Record& record, Container kind,
                                       const Frame& parent, std::string_view key) {
        if (kind != Container::array) {
            return nullptr;
        }
        std::vector<Element>().swap(record.*Member);
        return std::make_unique<ListFrame<Element>>(record.*Member, parent, key);
    }
};

template <class R, void (*Apply)(R&, const json&)> struct LenientRule {
    static Problem read(R& record, Scalar& value) {
        CaptureFrame::Budget budget;
        const std::optional<json> captured = CaptureFrame::capture(value, budget);
        LenientFrame<R, Apply>::applyLeniently(record, captured ? *captured : json());
        return std::nullopt;
    }
    static std::unique_ptr<Frame> open(R& record, Container kind, const Frame& parent,
                                       std::string_view key) {
        return std::make_unique<LenientFrame<R, Apply>>(record, kind, parent, key);
    }
    static void reset(R& record) { LenientFrame<R, Apply>::applyLeniently(record, json()); }
};

// ------------------------------------------------------------ table entries

template <auto Member>
constexpr auto number(std::string_view key, Presence presence = Presence::required) {
    using Rule = NumberRule<Member>;
    return Field<typename Rule::Record>{key,         presence, "a number",
                                        &Rule::read, nullptr,  &Rule::reset};
}

template <auto Member>
constexpr auto text(std::string_view key, Presence presence = Presence::required) {
    using Rule = TextRule<Member>;
    return Field<typename Rule::Record>{key,         presence, "a string",
                                        &Rule::read, nullptr,  &Rule::reset};
}

template <auto Member>
constexpr auto wholeNumber(std::string_view key, Presence presence = Presence::required) {
    using Rule = WholeNumberRule<Member>;
    return Field<typename Rule::Record>{key,         presence, "a whole number",
                                        &Rule::read, nullptr,  &Rule::reset};
}

// expected: what the key takes, for a value that is an object or an array.
template <auto Member, auto Parse>
constexpr auto parsed(std::string_view key, std::string_view expected,
                      Presence presence = Presence::required) {
    using Rule = ParsedRule<Member, Parse>;
    return Field<typename Rule::Record>{key,         presence, expected,
                                        &Rule::read, nullptr,  &Rule::reset};
}

template <auto Member>
constexpr auto record(std::string_view key, Presence presence = Presence::required) {
    using Rule = RecordRule<Member>;
    return Field<typename Rule::Record>{key,         presence,    "an object",
                                        &Rule::read, &Rule::open, &Rule::reset};
}

template <auto Member>
constexpr auto list(std::string_view key, Presence presence = Presence::required) {
    using Rule = ListRule<Member>;
    return Field<typename Rule::Record>{key,         presence,    "an array",
                                        &Rule::read, &Rule::open, &Rule::reset};
}

template <class R, void (*Apply)(R&, const json&)>
constexpr Field<R> lenient(std::string_view key) {
    using Rule = LenientRule<R, Apply>;
    return Field<R>{key, Presence::optional, "anything", &Rule::read, &Rule::open, &Rule::reset};
}

// ------------------------------------------------------------------ reading

// Runs the parser over bytes with root() as the reader of the top-level
// object. Returns the description of the first problem: text that is not
// JSON, a top-level value that is not an object, or the root's own outcome.
// std::bad_alloc passes through.
Outcome parseDocument(std::string_view bytes, const std::function<std::unique_ptr<Frame>()>& root);

// A whole document read as one record of type R.
template <class R> Result<R> readRecordDocument(std::string_view bytes) {
    R result = defaults<R>();
    Outcome outcome = parseDocument(bytes, [&result]() -> std::unique_ptr<Frame> {
        return std::make_unique<RecordFrame<R>>(result, nullptr, std::string_view());
    });
    if (outcome) {
        return Result<R>::failure(std::move(*outcome));
    }
    return Result<R>(std::move(result));
}

} // namespace prismeta::reading
