#pragma once

// Linear timecode read from audio samples (libltc's decoder), with the
// checks LTC itself lacks: it carries no checksum, so a code whose digits are
// out of range or that the rate it runs at does not have is dropped, and so
// is one exactly one frame behind the one read before it (tape or a player
// running backwards, or a misread). The rate is told by the length of a frame in
// samples (24, 25 or 30) and by the drop-frame bit (29.97).
//
// One thread at a time; owns its libltc decoder.

#include "core/Timecode.h"
#include "dmx/TimecodeRate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace prismeta {

struct LtcCode {
    Timecode timecode;
    TimecodeRate rate = TimecodeRate::ebu25;
    std::int64_t startSample = 0; // where its frame began in the samples written
};

// The 80 bits of one LTC frame, as they arrive (bit 0 first in byte 0).
using LtcBits = std::array<std::uint8_t, 10>;

// The timecode a frame's bits carry, if its sync word is right and its
// digits are in range for the rate.
std::optional<Timecode> ltcTimecode(const LtcBits& bits, TimecodeRate rate);
bool ltcDropFrame(const LtcBits& bits);

class LtcDecoder {
public:
    explicit LtcDecoder(int sampleRate);
    ~LtcDecoder();
    LtcDecoder(const LtcDecoder&) = delete;
    LtcDecoder& operator=(const LtcDecoder&) = delete;

    // Feeds samples; the codes completed and accepted are appended to out.
    void write(std::span<const std::int16_t> samples, std::vector<LtcCode>& out);
    void write(std::span<const float> samples, std::vector<LtcCode>& out);

    int sampleRate() const { return sampleRate_; }
    // Codes decoded but rejected by the checks.
    std::uint64_t rejected() const { return rejected_; }

    // The check of one decoded frame against the last accepted one, alone
    // (the fuzz target drives it with raw frames).
    std::optional<LtcCode> accept(const LtcBits& bits, double samplesPerFrame,
                                  std::int64_t startSample);

private:
    void drain(std::vector<LtcCode>& out);

    struct Decoder;
    std::unique_ptr<Decoder> decoder_;
    int sampleRate_;
    std::int64_t position_ = 0;
    std::optional<LtcCode> last_;  // the last code read with its digits in range
    std::optional<LtcCode> taken_; // the last code taken
    std::uint64_t rejected_ = 0;
};

} // namespace prismeta
