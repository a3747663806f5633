#pragma once

// Where a project sits on a lighting desk's DMX universes: the patches of its
// fixtures and the settings of the show fixture. Plain values kept with the
// file (the "dmx" keys of a surface and of the project); what the channels do
// is src/dmx's.

#include "core/MediaKind.h"

#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// Universes as desks number them: an Art-Net Port-Address (0..32767) or an
// sACN universe (1..63999); one number reaches both.
inline constexpr int maxDmxUniverse = 63999;
inline constexpr int dmxSlots = 512;

// A fixture's place: its universe and its first channel, 1..512.
struct DmxPatch {
    int universe = 0;
    int address = 1;

    friend bool operator==(const DmxPatch&, const DmxPatch&) = default;
};

// One entry of the list a surface's media channel chooses from. An entry
// without a usable kind (a hand-edited file) stands for the surface's own
// media, so the numbers of the entries after it stay as written.
struct DmxMedia {
    std::optional<MediaKind> mediaKind;
    std::optional<std::string> mediaPath;

    friend bool operator==(const DmxMedia&, const DmxMedia&) = default;
};

// What a surface does when every source of its universe is lost: keep the
// last values, or go back to the project's look over lossFade seconds.
enum class DmxLoss : unsigned char { hold, release };

inline constexpr double defaultDmxLossFade = 2.0;
inline constexpr double maxDmxLossFade = 60.0;

struct DmxSettings {
    // The show fixture (master, cues, GO, blackout).
    std::optional<DmxPatch> master;
    std::vector<DmxMedia> media;
    // Written back only when the file had them.
    std::optional<DmxLoss> loss;
    std::optional<double> lossFade;

    DmxLoss lossOrDefault() const { return loss.value_or(DmxLoss::hold); }
    double lossFadeOrDefault() const { return lossFade.value_or(defaultDmxLossFade); }

    friend bool operator==(const DmxSettings&, const DmxSettings&) = default;
};

} // namespace prismeta
