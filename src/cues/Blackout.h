#pragma once

// Every output fading to black over a fade of its own, and back. It changes
// neither the model nor the cue list. A plain value on the show clock, so
// another machine given it shows the same level at the same time.

namespace prismeta {

inline constexpr double defaultBlackoutFade = 1.0;
inline constexpr double maxBlackoutFade = 60.0;

struct Blackout {
    bool on = false;
    double start = 0.0;      // show time of the last switch
    double length = 0.0;     // its fade, seconds
    double startLevel = 0.0; // the level at the switch

    // How black the outputs are at now: 0 shows the picture, 1 is black.
    double level(double now) const;
    // Switched on or off at now, fading from the level on screen then.
    Blackout switched(bool blackout, double now, double fade) const;

    friend bool operator==(const Blackout&, const Blackout&) = default;
};

} // namespace prismeta
