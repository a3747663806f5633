#pragma once

// The triggers of shader surfaces' event inputs (the inspector's button,
// OSC). An event is not a value a surface holds: it fires, and the next
// frame its shader renders for that surface sees it true, the frames after
// false. Triggers are numbered in one rising sequence; a shader's picture
// remembers the sequence number it last rendered at and fires the events
// triggered since, so each picture sees each trigger on exactly one frame.
//
// Held by the model, not in the file nor in undo. Interface thread only,
// like the model; lookups allocate nothing.

#include "core/Uuid.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace prismeta {

class ShaderEvents {
public:
    void trigger(const Uuid& surface, std::string_view input);
    // The number of the latest trigger of any event (0: none yet).
    std::uint64_t sequence() const { return sequence_; }
    // The number of the latest trigger of the surface's input (0: never).
    std::uint64_t lastTrigger(const Uuid& surface, std::string_view input) const;

private:
    struct Trigger {
        std::string input;
        std::uint64_t sequence = 0;
    };
    // One entry per input ever triggered: the callers check the input is
    // declared, so this stays as small as the shaders' headers.
    std::unordered_map<Uuid, std::vector<Trigger>> triggers_;
    std::uint64_t sequence_ = 0;
};

} // namespace prismeta
