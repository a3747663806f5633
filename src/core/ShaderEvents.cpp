#include "core/ShaderEvents.h"

#include <algorithm>
#include <chrono>

namespace prismeta {

namespace {

double steadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void ShaderEvents::trigger(const Uuid& surface, std::string_view input) {
    if (delay_ == 0.0 && !observer_) {
        number(surface, input);
        return;
    }
    const double at = steadyNow() + delay_;
    if (delay_ == 0.0) {
        number(surface, input);
    } else {
        triggerAt(surface, input, at);
    }
    if (observer_) {
        observer_(surface, input, at);
    }
}

void ShaderEvents::triggerAt(const Uuid& surface, std::string_view input, double hostTime) {
    if (pending_.size() >= maxPending) {
        pending_.erase(
            std::min_element(pending_.begin(), pending_.end(),
                             [](const Pending& a, const Pending& b) { return a.at < b.at; }));
    }
    pending_.push_back({surface, std::string(input), hostTime});
}

void ShaderEvents::settle(double hostTime) const {
    if (pending_.empty()) {
        return;
    }
    // In the order of their moments, so a later trigger never takes a
    // number before an earlier one due at the same frame.
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.at < b.at; });
    const auto due = std::find_if(pending_.begin(), pending_.end(),
                                  [hostTime](const Pending& p) { return p.at > hostTime; });
    for (auto it = pending_.begin(); it != due; ++it) {
        number(it->surface, it->input);
    }
    pending_.erase(pending_.begin(), due);
}

void ShaderEvents::number(const Uuid& surface, std::string_view input) const {
    std::vector<Trigger>& inputs = triggers_[surface];
    ++sequence_;
    for (Trigger& trigger : inputs) {
        if (trigger.input == input) {
            trigger.sequence = sequence_;
            return;
        }
    }
    inputs.push_back({std::string(input), sequence_});
}

std::uint64_t ShaderEvents::lastTrigger(const Uuid& surface, std::string_view input) const {
    const auto found = triggers_.find(surface);
    if (found == triggers_.end()) {
        return 0;
    }
    for (const Trigger& trigger : found->second) {
        if (trigger.input == input) {
            return trigger.sequence;
        }
    }
    return 0;
}

} // namespace prismeta
