// Fuzz target: bytes as LTC. The first ten bytes a frame's bits for the
// frame check; the input as a WAV stream's header; and what follows the
// header (or the whole input) as samples for the decoder. Accepted codes
// must exist at their rate and never step one frame back.
#include "FuzzChecks.h"

#include "dmx/LtcDecoder.h"
#include "dmx/WavFormat.h"

#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace {

void check(const prismeta::LtcCode& code, std::optional<prismeta::LtcCode>& last) {
    using namespace prismeta;
    if (!existsAt(code.timecode, code.rate)) {
        fuzz::fault("ltc", "accepted a code its rate does not have");
    }
    if (last && last->rate == code.rate &&
        frameNumber(code.timecode, code.rate) == frameNumber(last->timecode, code.rate) - 1) {
        fuzz::fault("ltc", "accepted a code one frame back");
    }
    last = code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    const std::span<const std::uint8_t> bytes(data, size);
    LtcDecoder decoder(48000);
    std::optional<LtcCode> last;
    for (std::size_t at = 0; at + 12 <= bytes.size() && at < 120; at += 12) {
        LtcBits bits{};
        std::memcpy(bits.data(), bytes.data() + at, bits.size());
        const double samplesPerFrame = 1500.0 + bytes[at + 10] * 4.0;
        if (const auto code = decoder.accept(bits, samplesPerFrame, 0)) {
            check(*code, last);
        }
    }

    std::span<const std::uint8_t> audio = bytes;
    WavFormat format;
    if (const Result<WavFormat> header = parseWavHeader(bytes)) {
        format = header.value();
        if (format.dataOffset > bytes.size()) {
            fuzz::fault("ltc", "samples start past the stream");
        }
        audio = bytes.subspan(format.dataOffset);
    }
    std::vector<std::int16_t> samples;
    const std::size_t used = wavFirstChannel(format, audio, samples);
    if (used > audio.size() || samples.size() * format.bytesPerFrame() != used) {
        fuzz::fault("ltc", "more samples than bytes");
    }
    LtcDecoder stream(format.sampleRate);
    std::vector<LtcCode> codes;
    stream.write(samples, codes);
    last.reset();
    for (const LtcCode& code : codes) {
        check(code, last);
    }
    return 0;
}
