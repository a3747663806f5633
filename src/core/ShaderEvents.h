#pragma once

// The triggers of shader surfaces' event inputs (the inspector's button,
// OSC, the show's leader). An event is not a value a surface holds: it
// fires, and the next frame its shader renders for that surface sees it
// true, the frames after false. Triggers are numbered in one rising sequence;
// a shader's picture remembers the sequence number it last rendered at and
// fires the events triggered since, so each picture sees each trigger on
// exactly one frame.
//
// A trigger may be set for a moment on the host clock (steady_clock seconds,
// the renderers' frame time): it takes its number when the first frame at or
// after that moment settles it, so machines that agree on the moment fire it
// on the same frame.
//
// Held by the model, not in the file nor in undo. Interface thread only,
// like the model; lookups allocate nothing.

#include "core/Uuid.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace prismeta {

class ShaderEvents {
public:
    static constexpr std::size_t maxPending = 256;

    // Told of every trigger() with the host time it fires at.
    using Observer = std::function<void(const Uuid& surface, std::string_view input, double at)>;
    void onTrigger(Observer observer) { observer_ = std::move(observer); }
    // Triggers made with trigger() fire this long after (0: on the next
    // frame), as a GO does when the show runs on several machines.
    void setDelay(double seconds) { delay_ = seconds > 0.0 ? seconds : 0.0; }
    double delay() const { return delay_; }

    void trigger(const Uuid& surface, std::string_view input);
    // Fires on the first frame drawn at or after `hostTime`. Beyond
    // maxPending waiting triggers the earliest is dropped.
    void triggerAt(const Uuid& surface, std::string_view input, double hostTime);

    // Numbers the triggers due at the frame time `hostTime` (each picture
    // calls it before it looks). Settling is not a change of what was
    // triggered, only of when it counts, so it is allowed on a const model.
    void settle(double hostTime) const;
    // The number of the latest trigger of any event (0: none yet).
    std::uint64_t sequence() const { return sequence_; }
    // The number of the latest trigger of the surface's input (0: never).
    std::uint64_t lastTrigger(const Uuid& surface, std::string_view input) const;
    // Triggers waiting for their moment.
    std::size_t pending() const { return pending_.size(); }

private:
    struct Trigger {
        std::string input;
        std::uint64_t sequence = 0;
    };
    struct Pending {
        Uuid surface;
        std::string input;
        double at = 0.0;
    };
    void number(const Uuid& surface, std::string_view input) const;

    // One entry per input ever triggered: the callers check the input is
    // declared, so this stays as small as the shaders' headers.
    mutable std::unordered_map<Uuid, std::vector<Trigger>> triggers_;
    mutable std::uint64_t sequence_ = 0;
    mutable std::vector<Pending> pending_;
    Observer observer_;
    double delay_ = 0.0;
};

} // namespace prismeta
