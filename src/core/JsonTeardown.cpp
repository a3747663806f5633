#include "core/JsonTeardown.h"

namespace prismeta {

void dismantle(nlohmann::json& value) noexcept {
    // Containers are emptied one element at a time, from the back: an element
    // that holds no container is destroyed without allocating.
    if (auto* items = value.get_ptr<nlohmann::json::array_t*>()) {
        while (!items->empty()) {
            dismantle(items->back());
            items->pop_back();
        }
    } else if (auto* members = value.get_ptr<nlohmann::json::object_t*>()) {
        while (!members->empty()) {
            const auto first = members->begin();
            dismantle(first->second);
            members->erase(first);
        }
    }
}

} // namespace prismeta
