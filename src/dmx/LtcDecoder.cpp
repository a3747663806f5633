#include "dmx/LtcDecoder.h"

#include <ltc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace prismeta {

namespace {

constexpr int decoderQueue = 64;

// Bits start..start+count-1 of the frame, bit 0 the first on the wire.
int bitsAt(const LtcBits& bits, int start, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const int bit = start + i;
        value |= ((bits[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1) << i;
    }
    return value;
}

// The sync word, bits 64..79: 0011 1111 1111 1101 on the wire.
constexpr int syncWord = 0xbffc;

// The rate a frame of that many samples runs at; none for a drop-frame bit
// on a frame too long for 29.97 (24 and 25 fps have no drop-frame).
std::optional<TimecodeRate> rateOf(double samplesPerFrame, int sampleRate, bool dropFrame) {
    const double fps = samplesPerFrame > 0.0 ? sampleRate / samplesPerFrame : 25.0;
    if (fps >= 27.5) {
        return dropFrame ? TimecodeRate::dropFrame2997 : TimecodeRate::smpte30;
    }
    if (dropFrame) {
        return std::nullopt;
    }
    return fps < 24.5 ? TimecodeRate::film24 : TimecodeRate::ebu25;
}

} // namespace

std::optional<Timecode> ltcTimecode(const LtcBits& bits, TimecodeRate rate) {
    if (bitsAt(bits, 64, 16) != syncWord) {
        return std::nullopt;
    }
    const int digits[8] = {bitsAt(bits, 0, 4),  bitsAt(bits, 8, 2),  bitsAt(bits, 16, 4),
                           bitsAt(bits, 24, 3), bitsAt(bits, 32, 4), bitsAt(bits, 40, 3),
                           bitsAt(bits, 48, 4), bitsAt(bits, 56, 2)};
    for (int i = 0; i < 8; i += 2) {
        if (digits[i] > 9) {
            return std::nullopt; // a units digit is not a decimal digit
        }
    }
    const Timecode code{digits[7] * 10 + digits[6], digits[5] * 10 + digits[4],
                        digits[3] * 10 + digits[2], digits[1] * 10 + digits[0]};
    if (!existsAt(code, rate)) {
        return std::nullopt;
    }
    return code;
}

bool ltcDropFrame(const LtcBits& bits) {
    return bitsAt(bits, 10, 1) != 0;
}

struct LtcDecoder::Decoder {
    LTCDecoder* ltc = nullptr;
};

LtcDecoder::LtcDecoder(int sampleRate)
    : decoder_(std::make_unique<Decoder>()), sampleRate_(std::max(sampleRate, 8000)) {
    // Audio samples per frame, roughly: the decoder adapts to the real rate.
    decoder_->ltc = ltc_decoder_create(sampleRate_ / 25, decoderQueue);
}

LtcDecoder::~LtcDecoder() {
    if (decoder_->ltc != nullptr) {
        ltc_decoder_free(decoder_->ltc);
    }
}

void LtcDecoder::write(std::span<const std::int16_t> samples, std::vector<LtcCode>& out) {
    if (decoder_->ltc == nullptr) {
        return;
    }
    // libltc takes a mutable buffer; it only reads it. In parts, so its queue
    // of decoded frames never overflows before it is drained.
    constexpr std::size_t part = 4096;
    short buffer[part];
    for (std::size_t at = 0; at < samples.size(); at += part) {
        const std::size_t count = std::min(part, samples.size() - at);
        std::memcpy(buffer, samples.data() + at, count * sizeof(short));
        ltc_decoder_write_s16(decoder_->ltc, buffer, count, position_);
        position_ += static_cast<std::int64_t>(count);
        drain(out);
    }
}

void LtcDecoder::write(std::span<const float> samples, std::vector<LtcCode>& out) {
    if (decoder_->ltc == nullptr) {
        return;
    }
    constexpr std::size_t part = 4096;
    float buffer[part];
    for (std::size_t at = 0; at < samples.size(); at += part) {
        const std::size_t count = std::min(part, samples.size() - at);
        for (std::size_t i = 0; i < count; ++i) {
            const float s = samples[at + i];
            buffer[i] = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
        }
        ltc_decoder_write_float(decoder_->ltc, buffer, count, position_);
        position_ += static_cast<std::int64_t>(count);
        drain(out);
    }
}

void LtcDecoder::drain(std::vector<LtcCode>& out) {
    LTCFrameExt frame{};
    while (ltc_decoder_read(decoder_->ltc, &frame) > 0) {
        LtcBits bits{};
        std::memcpy(bits.data(), &frame.ltc, bits.size());
        if (frame.reverse) {
            ++rejected_; // running backwards
            continue;
        }
        const double samplesPerFrame = static_cast<double>(frame.off_end - frame.off_start + 1);
        if (const std::optional<LtcCode> code = accept(bits, samplesPerFrame, frame.off_start)) {
            out.push_back(*code);
        }
    }
}

std::optional<LtcCode> LtcDecoder::accept(const LtcBits& bits, double samplesPerFrame,
                                          std::int64_t startSample) {
    const std::optional<TimecodeRate> frameRate =
        rateOf(samplesPerFrame, sampleRate_, ltcDropFrame(bits));
    const TimecodeRate rate = frameRate.value_or(TimecodeRate::ebu25);
    const std::optional<Timecode> timecode =
        frameRate ? ltcTimecode(bits, rate) : std::optional<Timecode>();
    if (!timecode) {
        ++rejected_;
        return std::nullopt;
    }
    const LtcCode code{*timecode, rate, startSample};
    const std::int64_t frame = frameNumber(code.timecode, rate);
    // Noise makes frames whose digits are in range and mean nothing: a code
    // counts when it goes on from the one read before it (the next frame, or
    // the same one held), or from the last one taken across a frame or two
    // lost. Anything else (the first code, a jump, a misread, a source
    // running backwards) waits for the next frame to go on from it.
    const auto after = [&](const std::optional<LtcCode>& earlier, std::int64_t low,
                           std::int64_t high) {
        if (!earlier || earlier->rate != rate) {
            return false;
        }
        const std::int64_t day = framesPerDay(rate);
        const std::int64_t step =
            ((frame - frameNumber(earlier->timecode, rate)) % day + day) % day;
        return step >= low && step <= high;
    };
    const bool goesOn = after(last_, 0, 1) || after(taken_, 1, 3);
    last_ = code;
    if (!goesOn) {
        ++rejected_;
        return std::nullopt;
    }
    taken_ = code;
    return code;
}

} // namespace prismeta
