#pragma once

#include <nlohmann/json.hpp>

namespace prismeta {

// Empties a JSON tree from the leaves up without allocating. A tree's own
// destructor first gathers the children into a work list it allocates, so a
// tree destroyed while memory has run out (when unwinding a std::bad_alloc,
// say) ends the process. Recursive: for the shallow trees of project files.
void dismantle(nlohmann::json& value) noexcept;

// Dismantles a tree when the scope ends, however it ends.
class DismantleOnExit {
public:
    explicit DismantleOnExit(nlohmann::json& value) : value_(value) {}
    ~DismantleOnExit() { dismantle(value_); }
    DismantleOnExit(const DismantleOnExit&) = delete;
    DismantleOnExit& operator=(const DismantleOnExit&) = delete;

private:
    nlohmann::json& value_;
};

} // namespace prismeta
