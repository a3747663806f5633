#pragma once

// The header of a RIFF/WAVE stream (a recorded timecode track, or audio
// written into a named pipe): where the samples start and how to read them.
// Only what is needed to hand mono samples to a decoder: PCM of 8, 16, 24 or
// 32 bits and 32-bit float, any number of channels (the first is read).

#include "core/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace prismeta {

struct WavFormat {
    enum class Encoding : std::uint8_t { pcm8, pcm16, pcm24, pcm32, float32 };
    Encoding encoding = Encoding::pcm16;
    int sampleRate = 48000;
    int channels = 1;
    std::size_t dataOffset = 0;  // the first sample's byte
    std::uint64_t dataBytes = 0; // as the header says (a stream may say 0 or more than it has)

    std::size_t bytesPerFrame() const;
};

// Reads the header from the stream's first bytes (the format chunk must
// come before the data chunk, within them).
Result<WavFormat> parseWavHeader(std::span<const std::uint8_t> bytes);

// Whole frames of samples, as 16-bit samples of the first channel, appended
// to out; returns the bytes used (a partial frame is left).
std::size_t wavFirstChannel(const WavFormat& format, std::span<const std::uint8_t> bytes,
                            std::vector<std::int16_t>& out);

} // namespace prismeta
