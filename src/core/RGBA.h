#pragma once

namespace prismeta {

// A colour in sRGB with straight (not premultiplied) alpha, each channel 0..1.
// The conversion from a toolkit colour lives with the toolkit (the inspector).
struct RGBA {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;

    friend bool operator==(const RGBA&, const RGBA&) = default;
};

} // namespace prismeta
