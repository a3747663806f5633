#pragma once

// Reads a JSON document straight into records while a parser walks it
// (JsonEventParser; text it cannot read goes to the JSON library's own SAX
// parser, which words the problem). No document tree is built: memory is the
// records themselves plus the one string being read, so a file needs a small
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
// The entries of a table, and how to add a key, are in RecordFields.h.
//
// Any thread may read; a reading shares nothing with others but the
// per-type defaults (built once, read-only after).

#include "core/Result.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
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
    // Whether the next key, or the next scalar, matters; one that does not is
    // not even built.
    virtual bool wantsKey() const { return true; }
    virtual bool wantsValue() const { return true; }
    // Whether the next scalar may be a number too large for a double (see
    // JsonEvents::takesHugeNumbers).
    virtual bool takesHugeNumbers() const { return false; }

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

// Skips a value, with everything under it.
class SkipFrame final : public Frame {
public:
    SkipFrame(const Frame& parent, std::string_view key) : Frame(&parent, key) {}
    void scalar(Scalar&) override {}
    std::unique_ptr<Frame> open(Container) override { return nullptr; }
    Outcome close() override { return std::nullopt; }
    bool wantsKey() const override { return false; }
    bool wantsValue() const override { return false; }
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
    // Whether a number too large for a double reaches read() or the frame of
    // open() (as an infinity) instead of failing the text as not JSON: keys
    // that clamp their numbers take it.
    bool takesHugeNumbers = false;
    // In place of read, for a key that words its own problems: the scalar
    // with the frame of the record it belongs to (for the key's path).
    Problem (*readAt)(R& record, Scalar& value, const Frame& frame) = nullptr;
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
        Problem problem =
            field.readAt ? field.readAt(target_, value, *this) : field.read(target_, value);
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

    bool wantsValue() const override { return pending_ != none; }
    bool takesHugeNumbers() const override {
        return pending_ != none && fields()[pending_].takesHugeNumbers;
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

// ------------------------------------------------------------------ reading

// Runs the parser over bytes with root() as the reader of the top-level
// object. Returns the description of the first problem: text that is not
// JSON, a top-level value that is not an object, or the root's own outcome.
// std::bad_alloc passes through. root() may be called twice (see the .cpp),
// and must start from a fresh record each time.
Outcome parseDocument(std::string_view bytes, const std::function<std::unique_ptr<Frame>()>& root);

// A whole document read as one record of type R.
template <class R> Result<R> readRecordDocument(std::string_view bytes) {
    R result = defaults<R>();
    Outcome outcome = parseDocument(bytes, [&result]() -> std::unique_ptr<Frame> {
        result = defaults<R>();
        return std::make_unique<RecordFrame<R>>(result, nullptr, std::string_view());
    });
    if (outcome) {
        return Result<R>::failure(std::move(*outcome));
    }
    return Result<R>(std::move(result));
}

} // namespace prismeta::reading
