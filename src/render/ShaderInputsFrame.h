#pragma once

#include "core/ShaderInputValue.h"

namespace prismeta {

class ShaderEvents;

// What a shader surface's inputs are on one frame beyond the values it
// stores. Borrowed for the call only.
struct ShaderInputsFrame {
    // In a cue's fade: the values it comes from (the surface holds those it
    // goes to) and how far it is, 0 to 1 (isf/IsfInputValues.h mixes them).
    const ShaderInputs* fadeFrom = nullptr;
    double fadeProgress = 1.0;
    // The triggers of event inputs; without them no event fires.
    const ShaderEvents* events = nullptr;
    // A live input's value of the shader's first float input: liveValue
    // runs 0..1 across the input's MIN..MAX, and liveWeight says how much of
    // it replaces the value the surface holds (0: none).
    float liveValue = 0.0f;
    float liveWeight = 0.0f;
};

} // namespace prismeta
