#include "core/LenientCapture.h"

namespace prismeta::reading {

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

} // namespace prismeta::reading
