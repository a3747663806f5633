#pragma once

// LTC audio made with libltc's own encoder, for tests and the decoder's
// measurement: whole frames from a start code at a rate, with white noise
// added at a given level.

#include "core/Timecode.h"
#include "dmx/TimecodeRate.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace prismeta::test {

// 16-bit mono samples of `frames` LTC frames from `start`; noise is the
// noise's peak relative to the signal's (0: none), seeded.
std::vector<std::int16_t> ltcAudio(TimecodeRate rate, const Timecode& start, int frames,
                                   int sampleRate = 48000, double noise = 0.0, unsigned seed = 1);

// A 16-bit mono RIFF/WAVE file's bytes.
std::vector<std::uint8_t> wavBytes(const std::vector<std::int16_t>& samples, int sampleRate);

} // namespace prismeta::test
