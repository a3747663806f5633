#pragma once

// Values read leniently: the events under one key captured as a small JSON
// tree, within fixed limits, and handed to a function of the record's that
// makes what it can of them. See RecordFields.h for how such a key is added.

#include "core/JsonTeardown.h"
#include "core/RecordReader.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace prismeta::reading {

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
    bool wantsKey() const override { return !budget_->exceeded; }
    bool wantsValue() const override { return !budget_->exceeded; }
    // Lenient readers clamp: 1e400 arrives as an infinity.
    bool takesHugeNumbers() const override { return !budget_->exceeded; }

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
        budget_ = &ownBudget_;
    }
    ~LenientFrame() override { dismantle(root_); }

    Outcome close() override {
        applyLeniently(record_, ownBudget_.exceeded ? nullValue() : root_);
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
    Budget ownBudget_;
};

} // namespace prismeta::reading
