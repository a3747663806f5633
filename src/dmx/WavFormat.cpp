#include "dmx/WavFormat.h"

#include <cstring>
#include <string>

namespace prismeta {

namespace {

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
           (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

constexpr std::uint16_t formatPcm = 1;
constexpr std::uint16_t formatFloat = 3;
constexpr std::uint16_t formatExtensible = 0xfffe;

} // namespace

std::size_t WavFormat::bytesPerFrame() const {
    std::size_t bytes = 2;
    switch (encoding) {
    case Encoding::pcm8:
        bytes = 1;
        break;
    case Encoding::pcm16:
        bytes = 2;
        break;
    case Encoding::pcm24:
        bytes = 3;
        break;
    case Encoding::pcm32:
    case Encoding::float32:
        bytes = 4;
        break;
    }
    return bytes * static_cast<std::size_t>(channels);
}

Result<WavFormat> parseWavHeader(std::span<const std::uint8_t> b) {
    using Made = Result<WavFormat>;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        return Made::failure("not a WAV file");
    }
    WavFormat format;
    bool haveFormat = false;
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = le32(b, at + 4);
        const std::size_t body = at + 8;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > b.size()) {
                return Made::failure("a WAV format chunk cut short");
            }
            std::uint16_t tag = le16(b, body);
            const std::uint16_t channels = le16(b, body + 2);
            const std::uint32_t rate = le32(b, body + 4);
            const std::uint16_t bits = le16(b, body + 14);
            if (tag == formatExtensible && size >= 26 && body + 26 <= b.size()) {
                tag = le16(b, body + 24); // the sub-format's first two bytes
            }
            if (channels == 0 || channels > 64 || rate < 8000 || rate > 384000) {
                return Made::failure("a WAV file of " + std::to_string(channels) + " channels at " +
                                     std::to_string(rate) + " Hz");
            }
            format.channels = channels;
            format.sampleRate = static_cast<int>(rate);
            if (tag == formatPcm && bits == 8) {
                format.encoding = WavFormat::Encoding::pcm8;
            } else if (tag == formatPcm && bits == 16) {
                format.encoding = WavFormat::Encoding::pcm16;
            } else if (tag == formatPcm && bits == 24) {
                format.encoding = WavFormat::Encoding::pcm24;
            } else if (tag == formatPcm && bits == 32) {
                format.encoding = WavFormat::Encoding::pcm32;
            } else if (tag == formatFloat && bits == 32) {
                format.encoding = WavFormat::Encoding::float32;
            } else {
                return Made::failure("a WAV encoding that is neither PCM nor 32-bit float");
            }
            haveFormat = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            if (!haveFormat) {
                return Made::failure("a WAV file whose samples come before their format");
            }
            format.dataOffset = body;
            format.dataBytes = size;
            return format;
        }
        // Chunks are padded to an even size.
        const std::uint64_t next = std::uint64_t{body} + size + (size & 1);
        if (next > b.size()) {
            break;
        }
        at = static_cast<std::size_t>(next);
    }
    return Made::failure("no WAV samples in the first " + std::to_string(b.size()) + " bytes");
}

std::size_t wavFirstChannel(const WavFormat& format, std::span<const std::uint8_t> bytes,
                            std::vector<std::int16_t>& out) {
    const std::size_t frame = format.bytesPerFrame();
    const std::size_t frames = bytes.size() / frame;
    out.reserve(out.size() + frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint8_t* s = bytes.data() + i * frame;
        std::int16_t value = 0;
        switch (format.encoding) {
        case WavFormat::Encoding::pcm8:
            value = static_cast<std::int16_t>((s[0] - 128) * 256);
            break;
        case WavFormat::Encoding::pcm16:
            value = static_cast<std::int16_t>(s[0] | (s[1] << 8));
            break;
        case WavFormat::Encoding::pcm24:
            value = static_cast<std::int16_t>(s[1] | (s[2] << 8));
            break;
        case WavFormat::Encoding::pcm32:
            value = static_cast<std::int16_t>(s[2] | (s[3] << 8));
            break;
        case WavFormat::Encoding::float32: {
            float f = 0.0f;
            std::memcpy(&f, s, sizeof f);
            const float clamped = f == f ? (f > 1.0f ? 1.0f : (f < -1.0f ? -1.0f : f)) : 0.0f;
            value = static_cast<std::int16_t>(clamped * 32767.0f);
            break;
        }
        }
        out.push_back(value);
    }
    return frames * frame;
}

} // namespace prismeta
