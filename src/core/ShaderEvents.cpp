#include "core/ShaderEvents.h"

namespace prismeta {

void ShaderEvents::trigger(const Uuid& surface, std::string_view input) {
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
