#pragma once

// The channels of Prismeta's two fixtures, as their profiles in share/dmx
// publish them (docs/dmx.md has the table). Offsets count from the patch's
// first channel; 16-bit values are coarse then fine.

#include "core/DmxSettings.h"

#include <array>
#include <cstdint>

namespace prismeta {

// Prismeta Surface: one per patched surface.
namespace surfaceChannel {
inline constexpr int intensity = 0; // and its fine channel, 1
inline constexpr int red = 2;
inline constexpr int green = 3;
inline constexpr int blue = 4;
inline constexpr int media = 5;
inline constexpr int playback = 6;
inline constexpr int shader = 7; // and its fine channel, 8
inline constexpr int count = 9;
} // namespace surfaceChannel

// Prismeta Show: the project's one show fixture.
namespace showChannel {
inline constexpr int master = 0; // and its fine channel, 1
inline constexpr int cue = 2;    // and its fine channel, 3
inline constexpr int go = 4;
inline constexpr int blackout = 5;
inline constexpr int count = 6;
} // namespace showChannel

// The playback channel's four ranges of 64 values each.
enum class LivePlayback : std::uint8_t { asSet, onceFromStart, pause, loopFromStart };

using UniverseSlots = std::array<std::uint8_t, dmxSlots>;

struct SurfaceFixtureValues {
    float intensity = 0.0f; // 0..1
    std::array<float, 3> tint{};
    int media = 0; // 0: the surface's own; n: the media list's n-th entry
    LivePlayback playback = LivePlayback::asSet;
    float shader = 0.0f; // 0..1
};

struct ShowFixtureValues {
    float master = 0.0f;
    int cue = 0; // 0: the next cue
    std::uint8_t go = 0;
    std::uint8_t blackout = 0;
};

// Whether a fixture of `channels` channels patched there fits its universe.
bool fitsUniverse(const DmxPatch& patch, int channels);

// The values of the fixtures patched at `address` (which must fit).
SurfaceFixtureValues surfaceFixtureValues(const UniverseSlots& slots, int address);
ShowFixtureValues showFixtureValues(const UniverseSlots& slots, int address);

// A level at or above half: GO's trigger, blackout on.
inline bool atLeastHalf(std::uint8_t level) {
    return level >= 128;
}

} // namespace prismeta
