#include "dmx/LtcInput.h"

#include "core/Log.h"
#include "dmx/LtcDecoder.h"
#include "dmx/WavFormat.h"

#include <alsa/asoundlib.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace prismeta {

namespace {

constexpr std::size_t wavHeaderLimit = 64 * 1024;
constexpr int captureRate = 48000;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct LtcInput::Source {
    enum class Kind { file, pipe, alsa };
    Kind kind = Kind::file;
    std::string name;
    int fd = -1;
    snd_pcm_t* pcm = nullptr;
    WavFormat format;
    std::vector<std::uint8_t> pending; // bytes read past the header
    std::uint64_t left = 0;            // of a file's samples

    ~Source() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (pcm != nullptr) {
            snd_pcm_close(pcm);
        }
    }
};

Result<std::unique_ptr<LtcInput>> LtcInput::start(const std::string& input,
                                                  std::function<void()> wake) {
    using Made = Result<std::unique_ptr<LtcInput>>;
    auto source = std::make_unique<Source>();
    source->name = input;
    struct stat status {};
    if (!input.empty() && input.front() == '/' && ::stat(input.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) {
            return Made::failure(input + " is neither a WAV file nor a named pipe");
        }
        source->kind = S_ISFIFO(status.st_mode) ? Source::Kind::pipe : Source::Kind::file;
        // A pipe opens at once and waits for its writer in the thread.
        source->fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (source->fd < 0) {
            return Made::failure(input + ": " + std::strerror(errno));
        }
        if (source->kind == Source::Kind::file) {
            std::vector<std::uint8_t> head(wavHeaderLimit);
            const ssize_t got = ::read(source->fd, head.data(), head.size());
            head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            Result<WavFormat> format = parseWavHeader(head);
            if (!format) {
                return Made::failure(input + ": " + format.error());
            }
            source->format = format.value();
            source->pending.assign(head.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(format->dataOffset, head.size())),
                                   head.end());
            source->left = format->dataBytes;
        }
    } else {
        source->kind = Source::Kind::alsa;
        const int opened =
            snd_pcm_open(&source->pcm, input.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (opened < 0) {
            source->pcm = nullptr;
            return Made::failure("audio input " + input + ": " + snd_strerror(opened));
        }
        const int set = snd_pcm_set_params(source->pcm, SND_PCM_FORMAT_S16_LE,
                                           SND_PCM_ACCESS_RW_INTERLEAVED, 1, captureRate, 1, 50000);
        if (set < 0) {
            return Made::failure("audio input " + input + ": " + snd_strerror(set));
        }
        source->format.sampleRate = captureRate;
    }
    std::unique_ptr<LtcInput> made(new LtcInput(std::move(source), std::move(wake)));
    made->stopEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    made->thread_ = std::thread([m = made.get()] { m->run(); });
    return Made(std::move(made));
}

LtcInput::LtcInput(std::unique_ptr<Source> source, std::function<void()> wake)
    : source_(std::move(source)), wake_(std::move(wake)) {}

LtcInput::~LtcInput() {
    stop_.store(true);
    if (stopEvent_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(stopEvent_, &one, sizeof one);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (stopEvent_ >= 0) {
        ::close(stopEvent_);
    }
}

std::optional<TimecodeReading> LtcInput::take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(latest_, std::nullopt);
}

void LtcInput::run() {
    Source& s = *source_;
    std::vector<std::int16_t> samples;
    std::vector<LtcCode> codes;
    std::vector<std::uint8_t> chunk(16 * 1024);
    std::unique_ptr<LtcDecoder> decoder;
    std::int64_t decoded = 0; // samples handed to the decoder
    const double started = steadySeconds();

    // Hands samples to the decoder; `readAt` is when the last of them was
    // read (a live input), or none for a file played at its own pace.
    const auto feed = [&](std::optional<double> readAt) {
        if (samples.empty()) {
            return;
        }
        codes.clear();
        decoder->write(samples, codes);
        decoded += static_cast<std::int64_t>(samples.size());
        samples.clear();
        rejected_.store(decoder->rejected());
        if (codes.empty()) {
            return;
        }
        const LtcCode& code = codes.back();
        const double rate = decoder->sampleRate();
        TimecodeReading reading{code.timecode, code.rate, 0.0};
        reading.arrived = readAt ? *readAt - static_cast<double>(decoded - code.startSample) / rate
                                 : started + static_cast<double>(code.startSample) / rate;
        {
            const std::lock_guard lock(mutex_);
            latest_ = reading;
        }
        if (wake_) {
            wake_();
        }
    };

    if (s.kind == Source::Kind::alsa) {
        decoder = std::make_unique<LtcDecoder>(s.format.sampleRate);
        std::vector<std::int16_t> buffer(captureRate / 100);
        while (!stop_.load()) {
            const snd_pcm_sframes_t got =
                snd_pcm_readi(s.pcm, buffer.data(), static_cast<snd_pcm_uframes_t>(buffer.size()));
            if (got == -EAGAIN) {
                snd_pcm_wait(s.pcm, 100);
                continue;
            }
            if (got < 0) {
                if (snd_pcm_recover(s.pcm, static_cast<int>(got), 1) < 0) {
                    logLine("Prismeta: LTC audio input " + s.name +
                            " failed: " + snd_strerror(static_cast<int>(got)));
                    break;
                }
                continue;
            }
            samples.assign(buffer.begin(), buffer.begin() + got);
            feed(steadySeconds());
        }
        ended_.store(true);
        return;
    }

    // A file or a pipe: the header first (a pipe's arrives with its writer).
    std::vector<std::uint8_t> bytes = std::move(s.pending);
    bool haveFormat = s.kind == Source::Kind::file;
    if (haveFormat) {
        decoder = std::make_unique<LtcDecoder>(s.format.sampleRate);
    }
    const double frameSeconds = 1.0 / s.format.sampleRate;
    std::int64_t paced = 0; // a file's samples played so far
    bool gotAny = false;
    bool fileEnded = false;
    for (;;) {
        if (stop_.load()) {
            break;
        }
        if (haveFormat && !bytes.empty()) {
            std::size_t usable = bytes.size();
            if (s.kind == Source::Kind::file) {
                // A part at a time, each handed over when it is due.
                usable = static_cast<std::size_t>(
                    std::min<std::uint64_t>({usable, s.left,
                                             static_cast<std::uint64_t>(s.format.sampleRate / 50) *
                                                 s.format.bytesPerFrame()}));
            }
            const std::size_t used = wavFirstChannel(
                s.format, std::span<const std::uint8_t>(bytes.data(), usable), samples);
            if (s.kind == Source::Kind::file) {
                s.left -= used;
                paced += static_cast<std::int64_t>(samples.size());
                // A track plays in time: its samples are handed over when due.
                const double due = started + static_cast<double>(paced) * frameSeconds;
                const double wait = due - steadySeconds();
                if (wait > 0) {
                    pollfd stop{stopEvent_, POLLIN, 0};
                    ::poll(&stop, 1, static_cast<int>(wait * 1000.0));
                }
                feed(std::nullopt);
            } else {
                feed(steadySeconds());
            }
            bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(used));
            if (s.kind == Source::Kind::file && s.left == 0) {
                break;
            }
        }
        // The next part: a file's is read at once (paced above), a pipe's
        // as it comes.
        const std::size_t partBytes =
            static_cast<std::size_t>(s.format.sampleRate / 50) * s.format.bytesPerFrame();
        if (s.kind == Source::Kind::file) {
            if (fileEnded && bytes.size() < s.format.bytesPerFrame()) {
                break;
            }
            if (fileEnded || bytes.size() >= partBytes) {
                continue;
            }
        }
        pollfd fds[2] = {{stopEvent_, POLLIN, 0}, {s.fd, POLLIN, 0}};
        if (s.kind == Source::Kind::pipe && ::poll(fds, 2, -1) > 0 && fds[0].revents != 0) {
            break;
        }
        const std::size_t want =
            s.kind == Source::Kind::file
                ? static_cast<std::size_t>(s.format.sampleRate / 50) * s.format.bytesPerFrame()
                : chunk.size();
        chunk.resize(std::max<std::size_t>(want, 1));
        const ssize_t got = ::read(s.fd, chunk.data(), chunk.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got == 0 && s.kind == Source::Kind::pipe && !gotAny) {
            // No writer yet: a pipe reads as ended until one opens it.
            pollfd stop{stopEvent_, POLLIN, 0};
            if (::poll(&stop, 1, 50) > 0) {
                break;
            }
            continue;
        }
        if (got <= 0) {
            if (s.kind == Source::Kind::file && !fileEnded) {
                fileEnded = true; // what was read before still plays
                continue;
            }
            break; // the end: a file played out, a pipe's writer gone
        }
        gotAny = true;
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (!haveFormat) {
            Result<WavFormat> format = parseWavHeader(bytes);
            if (!format) {
                if (bytes.size() >= wavHeaderLimit || format.error() == "not a WAV file") {
                    if (bytes.size() >= 12) {
                        logLine("Prismeta: LTC input " + s.name + ": " + format.error());
                        break;
                    }
                }
                continue;
            }
            s.format = format.value();
            haveFormat = true;
            decoder = std::make_unique<LtcDecoder>(s.format.sampleRate);
            bytes.erase(bytes.begin(),
                        bytes.begin() + static_cast<std::ptrdiff_t>(s.format.dataOffset));
        }
    }
    ended_.store(true);
    if (wake_) {
        wake_();
    }
}

} // namespace prismeta
