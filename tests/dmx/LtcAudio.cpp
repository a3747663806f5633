#include "LtcAudio.h"

#include <ltc.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace prismeta::test {

std::vector<std::int16_t> ltcAudio(TimecodeRate rate, const Timecode& start, int frames,
                                   int sampleRate, double noise, unsigned seed) {
    const double fps = framesPerSecond(rate);
    const LTC_TV_STANDARD standard = rate == TimecodeRate::ebu25    ? LTC_TV_625_50
                                     : rate == TimecodeRate::film24 ? LTC_TV_FILM_24
                                                                    : LTC_TV_525_60;
    LTCEncoder* encoder = ltc_encoder_create(sampleRate, fps, standard, LTC_BGF_DONT_TOUCH);
    LTCFrame frame{};
    ltc_frame_reset(&frame);
    ltc_encoder_set_frame(encoder, &frame);
    SMPTETimecode code{};
    std::strcpy(code.timezone, "+0000");
    code.hours = static_cast<unsigned char>(start.hours);
    code.mins = static_cast<unsigned char>(start.minutes);
    code.secs = static_cast<unsigned char>(start.seconds);
    code.frame = static_cast<unsigned char>(start.frames);
    ltc_encoder_set_timecode(encoder, &code);
    if (rate == TimecodeRate::dropFrame2997) {
        ltc_encoder_get_frame(encoder, &frame);
        frame.dfbit = 1;
        ltc_encoder_set_frame(encoder, &frame);
    }
    std::vector<ltcsnd_sample_t> buffer(ltc_encoder_get_buffersize(encoder));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> white(-1.0, 1.0);
    std::vector<std::int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        ltc_encoder_encode_frame(encoder);
        const int count = ltc_encoder_copy_buffer(encoder, buffer.data());
        for (int s = 0; s < count; ++s) {
            // Unsigned 8-bit around 128, at -3 dBFS as libltc makes it.
            const double signal = (buffer[static_cast<std::size_t>(s)] - 128.0) / 128.0;
            const double noisy = signal + noise * white(random) * 0.7;
            samples.push_back(static_cast<std::int16_t>(std::clamp(noisy, -1.0, 1.0) * 32767.0));
        }
        ltc_encoder_inc_timecode(encoder);
    }
    ltc_encoder_free(encoder);
    return samples;
}

std::vector<std::uint8_t> wavBytes(const std::vector<std::int16_t>& samples, int sampleRate) {
    const auto le32 = [](std::vector<std::uint8_t>& b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    const auto le16 = [](std::vector<std::uint8_t>& b, std::uint16_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F'};
    le32(b, 36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le32(b, 16);
    le16(b, 1);
    le16(b, 1);
    le32(b, static_cast<std::uint32_t>(sampleRate));
    le32(b, static_cast<std::uint32_t>(sampleRate * 2));
    le16(b, 2);
    le16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    le32(b, data);
    for (std::int16_t s : samples) {
        le16(b, static_cast<std::uint16_t>(s));
    }
    return b;
}

} // namespace prismeta::test
