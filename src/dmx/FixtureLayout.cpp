#include "dmx/FixtureLayout.h"

namespace prismeta {

namespace {

float coarseFine(const UniverseSlots& slots, int at) {
    const int value =
        (slots[static_cast<std::size_t>(at)] << 8) | slots[static_cast<std::size_t>(at + 1)];
    return static_cast<float>(value) / 65535.0f;
}

std::uint8_t level(const UniverseSlots& slots, int at) {
    return slots[static_cast<std::size_t>(at)];
}

} // namespace

bool fitsUniverse(const DmxPatch& patch, int channels) {
    return patch.address >= 1 && patch.address + channels - 1 <= dmxSlots;
}

SurfaceFixtureValues surfaceFixtureValues(const UniverseSlots& slots, int address) {
    const int base = address - 1;
    SurfaceFixtureValues values;
    values.intensity = coarseFine(slots, base + surfaceChannel::intensity);
    values.tint = {level(slots, base + surfaceChannel::red) / 255.0f,
                   level(slots, base + surfaceChannel::green) / 255.0f,
                   level(slots, base + surfaceChannel::blue) / 255.0f};
    values.media = level(slots, base + surfaceChannel::media);
    values.playback = static_cast<LivePlayback>(level(slots, base + surfaceChannel::playback) / 64);
    values.shader = coarseFine(slots, base + surfaceChannel::shader);
    return values;
}

ShowFixtureValues showFixtureValues(const UniverseSlots& slots, int address) {
    const int base = address - 1;
    ShowFixtureValues values;
    values.master = coarseFine(slots, base + showChannel::master);
    values.cue =
        (level(slots, base + showChannel::cue) << 8) | level(slots, base + showChannel::cue + 1);
    values.go = level(slots, base + showChannel::go);
    values.blackout = level(slots, base + showChannel::blackout);
    return values;
}

} // namespace prismeta
