// LTC: audio from libltc's encoder decoded back at every rate, with noise;
// the checks LTC's lack of a checksum needs; and the input thread reading a
// recorded track (a WAV file, at its own pace) and a named pipe.
#include "LtcAudio.h"
#include "TestSenders.h"

#include "dmx/LtcDecoder.h"
#include "dmx/LtcInput.h"
#include "dmx/WavFormat.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace prismeta::test {
namespace {

std::vector<LtcCode> decode(const std::vector<std::int16_t>& samples, int sampleRate = 48000) {
    LtcDecoder decoder(sampleRate);
    std::vector<LtcCode> codes;
    decoder.write(samples, codes);
    return codes;
}

TEST(LtcDecoder, EveryRateDecodesFrameForFrameWithItsRate) {
    for (TimecodeRate rate : {TimecodeRate::film24, TimecodeRate::ebu25,
                              TimecodeRate::dropFrame2997, TimecodeRate::smpte30}) {
        const Timecode start{10, 0, 59, 20};
        const std::vector<LtcCode> codes = decode(ltcAudio(rate, start, 100));
        // The first code waits for the second to confirm it; the last frame
        // completes only with the next one's sync word.
        ASSERT_GE(codes.size(), 97u) << rateName(rate);
        const std::int64_t first = frameNumber(start, rate);
        const std::int64_t offset = frameNumber(codes.front().timecode, rate) - first;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            EXPECT_EQ(codes[i].rate, rate);
            EXPECT_EQ(frameNumber(codes[i].timecode, rate), first + offset + std::int64_t(i))
                << rateName(rate) << " " << timecodeText(codes[i].timecode);
        }
        EXPECT_LE(offset, 2);
    }
}

TEST(LtcDecoder, NoisyAudioGivesNoWrongCodes) {
    // Past what the decoder reads: it makes codes of noise, which must not
    // pass (here 120 % of the signal's peak: about 3 dB).
    {
        const std::vector<LtcCode> noise =
            decode(ltcAudio(TimecodeRate::ebu25, {1, 0, 0, 0}, 250, 48000, 1.2, 3));
        for (const LtcCode& code : noise) {
            EXPECT_EQ(frameNumber(code.timecode, code.rate) -
                          frameNumber({1, 0, 0, 0}, TimecodeRate::ebu25),
                      (code.startSample + 960) / 1920)
                << timecodeText(code.timecode);
        }
    }
    const Timecode start{1, 0, 0, 0};
    const std::vector<LtcCode> codes =
        decode(ltcAudio(TimecodeRate::ebu25, start, 250, 48000, 0.5, 7));
    EXPECT_GE(codes.size(), 240u); // at half the signal's level nearly every frame reads
    for (std::size_t i = 1; i < codes.size(); ++i) {
        const std::int64_t step = frameNumber(codes[i].timecode, TimecodeRate::ebu25) -
                                  frameNumber(codes[i - 1].timecode, TimecodeRate::ebu25);
        EXPECT_GE(step, 1) << timecodeText(codes[i].timecode);
        EXPECT_EQ(step,
                  std::int64_t((codes[i].startSample - codes[i - 1].startSample + 960) / 1920));
    }
}

LtcBits bitsOf(const Timecode& t, bool dropFrame = false) {
    LtcBits bits{};
    const auto put = [&bits](int start, int count, int value) {
        for (int i = 0; i < count; ++i) {
            if ((value >> i) & 1) {
                bits[static_cast<std::size_t>((start + i) / 8)] |=
                    static_cast<std::uint8_t>(1u << ((start + i) % 8));
            }
        }
    };
    put(0, 4, t.frames % 10);
    put(8, 2, t.frames / 10);
    put(10, 1, dropFrame ? 1 : 0);
    put(16, 4, t.seconds % 10);
    put(24, 3, t.seconds / 10);
    put(32, 4, t.minutes % 10);
    put(40, 3, t.minutes / 10);
    put(48, 4, t.hours % 10);
    put(56, 2, t.hours / 10);
    put(64, 16, 0xbffc);
    return bits;
}

TEST(LtcDecoder, CodesThatDoNotGoOnAndMalformedOnesAreRefused) {
    LtcDecoder decoder(48000);
    const auto accept = [&decoder](const LtcBits& bits) {
        return decoder.accept(bits, 1920.0, 0).has_value();
    };
    EXPECT_FALSE(accept(bitsOf({0, 0, 0, 10}))); // the first: confirmed by the next
    EXPECT_TRUE(accept(bitsOf({0, 0, 0, 11})));
    EXPECT_FALSE(accept(bitsOf({0, 0, 0, 10}))); // one back: a misread or running backwards
    EXPECT_TRUE(accept(bitsOf({0, 0, 0, 12})));
    EXPECT_TRUE(accept(bitsOf({0, 0, 0, 12}))); // repeated: held, not backwards
    for (int f = 11; f > 5; --f) {
        EXPECT_FALSE(accept(bitsOf({0, 0, 0, f}))) << "running backwards, " << f;
    }
    EXPECT_FALSE(accept(bitsOf({0, 0, 3, 0}))); // a jump is taken one frame late
    EXPECT_TRUE(accept(bitsOf({0, 0, 3, 1})));
    EXPECT_FALSE(accept(bitsOf({7, 7, 7, 7})));       // noise that reads as a code
    EXPECT_TRUE(accept(bitsOf({0, 0, 3, 3})));        // across it: two frames on
    EXPECT_FALSE(accept(bitsOf({0, 0, 0, 25})));      // 25 fps has no frame 25
    EXPECT_FALSE(accept(bitsOf({24, 0, 0, 0})));      // no hour 24
    EXPECT_FALSE(accept(bitsOf({0, 0, 0, 0}, true))); // drop-frame at 1920 samples: not 29.97
    LtcBits broken = bitsOf({0, 0, 4, 0});
    broken[9] ^= 0x01; // the sync word
    EXPECT_FALSE(accept(broken));
    broken = bitsOf({0, 0, 4, 0});
    broken[0] |= 0x0f; // frame units 15
    EXPECT_FALSE(accept(broken));
    EXPECT_EQ(decoder.rejected(), 15u);
}

std::filesystem::path scratch(const char* name) {
    return std::filesystem::temp_directory_path() /
           (std::string("prismeta-ltc-") + std::to_string(::getpid()) + "-" + name);
}

TEST(LtcInput, ARecordedTrackPlaysAtItsOwnPace) {
    const std::filesystem::path path = scratch("track.wav");
    const std::vector<std::uint8_t> wav =
        wavBytes(ltcAudio(TimecodeRate::ebu25, {10, 0, 0, 0}, 40, 48000, 0.1), 48000);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    const double before =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    auto input = LtcInput::start(path.string(), nullptr);
    ASSERT_TRUE(input) << input.error();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const std::optional<TimecodeReading> reading = input.value()->take();
    ASSERT_TRUE(reading);
    // About 15 frames in after 0.6 s (fewer on a busy machine), not the
    // whole 1.6 s file at once; each code stamped with its frame's time.
    const std::int64_t frame = frameNumber(reading->timecode, TimecodeRate::ebu25) -
                               frameNumber({10, 0, 0, 0}, TimecodeRate::ebu25);
    EXPECT_GE(frame, 1);
    EXPECT_LE(frame, 16);
    EXPECT_NEAR(reading->arrived - before, frame / 25.0, 0.15);
    EXPECT_TRUE(eventually([&] { return input.value()->ended(); }));
    std::filesystem::remove(path);

    EXPECT_FALSE(LtcInput::start("/nonexistent/track.wav", nullptr));
    std::ofstream(path) << "not audio";
    const auto notAudio = LtcInput::start(path.string(), nullptr);
    ASSERT_FALSE(notAudio);
    EXPECT_NE(notAudio.error().find("not a WAV file"), std::string::npos);
    std::filesystem::remove(path);
}

TEST(LtcInput, ANamedPipeIsReadAsItComes) {
    const std::filesystem::path path = scratch("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto input = LtcInput::start(path.string(), nullptr);
    ASSERT_TRUE(input) << input.error();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // no writer yet: it waits
    EXPECT_FALSE(input.value()->ended());
    const std::vector<std::uint8_t> wav =
        wavBytes(ltcAudio(TimecodeRate::smpte30, {0, 1, 0, 0}, 30, 44100), 44100);
    std::thread writer([&] {
        std::ofstream pipe(path, std::ios::binary);
        pipe.write(reinterpret_cast<const char*>(wav.data()),
                   static_cast<std::streamsize>(wav.size()));
    });
    std::optional<TimecodeReading> last;
    EXPECT_TRUE(eventually([&] {
        if (auto reading = input.value()->take()) {
            last = reading;
        }
        return input.value()->ended();
    }));
    writer.join();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->rate, TimecodeRate::smpte30);
    EXPECT_EQ(last->timecode, (Timecode{0, 1, 0, 28}));
    std::filesystem::remove(path);
}

TEST(WavFormat, HeadersOfEveryEncodingAndBrokenOnes) {
    std::vector<std::uint8_t> wav = wavBytes({1000, -1000, 5}, 44100);
    const Result<WavFormat> format = parseWavHeader(wav);
    ASSERT_TRUE(format) << format.error();
    EXPECT_EQ(format->sampleRate, 44100);
    EXPECT_EQ(format->dataOffset, 44u);
    std::vector<std::int16_t> samples;
    EXPECT_EQ(wavFirstChannel(format.value(), std::span(wav).subspan(44), samples), 6u);
    EXPECT_EQ(samples, (std::vector<std::int16_t>{1000, -1000, 5}));
    std::vector<std::uint8_t> bad = wav;
    bad[20] = 2; // ADPCM
    EXPECT_FALSE(parseWavHeader(bad));
    bad = wav;
    bad[22] = 0; // no channels
    EXPECT_FALSE(parseWavHeader(bad));
    EXPECT_FALSE(parseWavHeader(std::span(wav).first(30)));
    bad = wav;
    bad[16] = 0xff; // a format chunk larger than the file
    bad[17] = 0xff;
    EXPECT_FALSE(parseWavHeader(bad));
}

} // namespace
} // namespace prismeta::test
