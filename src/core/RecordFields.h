#pragma once

// The entries of a record's key table (Schema<R>::fields), and the rules
// that read each kind of value into a member.
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
// value arrives as a small JSON tree of any type (check it; positive whole
// numbers are number_unsigned, is_number() covers every kind; a number too
// large for a double, 1e400, arrives as an infinity of its sign), or as null
// when the key is null or larger than the limits of LenientCapture.h. The function
// sets the member from scratch each time, to its "not set" state when the
// value is of no use, since of duplicate keys only the last one counts. A
// json::exception thrown by the function (at() or get<>() on a wrong type,
// say) reads as null. The table order is the order of checks, so new keys go
// where their problems should rank (usually last). The writer side is
// ProjectWriter in ProjectFile.cpp: a key is written only when set, with
// JsonTextWriter, at its place in the sorted order of its object's keys.

#include "core/LenientCapture.h"
#include "core/RecordReader.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace prismeta::reading {

// Halfway between the largest float and 2^128: every double below it in
// magnitude rounds to a finite float, every double from it up to infinity.
// Comparing against the largest float itself would refuse its own shortest
// text, 3.4028235e+38, which reads as a double just above it.
inline constexpr double floatOverflowThreshold = 3.4028235677973366e38;

// "1e+39 is outside the 32-bit float range".
std::string describeFloatOverflow(double number);

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
    return Field<R>{key,         Presence::optional, "anything", &Rule::read,
                    &Rule::open, &Rule::reset,       true};
}

} // namespace prismeta::reading
