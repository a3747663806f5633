// Fuzz target: bytes as a live stream. The input reaches a LiveReader
// through a connection that hands it over as a network stream does: no
// seeking, no size known, in pieces of at most one UDP datagram of MPEG-TS
// (1,316 bytes), the container found by probing, with the demuxer options of
// a stream (no buffering). The reader demuxes, decodes and converts it on
// its own thread as it does a camera's or a sender's pictures, and opens the
// stream again when it ends. Nothing may crash; every picture must be as
// large as it says and within the limits; the stream's end must bring the
// reader back to opening it (a reader stuck on a stream that ended is a
// hang); and destroying the reader must return at once and leave no thread.
// An MPEG-TS input is read as a UDP or SRT one is: each datagram after which
// TsPictureEnds calls a picture whole is followed by a pause, so the demuxer
// hands out what it holds, and no parser stands between it and the decoder.
//
// Its seeds are the video target's (tests/corpus/video and its
// regressions): every container and codec the file reader is fuzzed with,
// here as a sender would send them.
#include "FuzzChecks.h"

#include "media/LiveOpen.h"
#include "media/LiveReader.h"
#include "media/TsPictureEnds.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

[[noreturn]] void fault(const char* what) {
    prismeta::fuzz::fault("live", what);
}

constexpr int maxSide = 1024;
constexpr std::size_t datagram = 1316;
constexpr int ioBufferSize = 4096;

struct Input {
    std::vector<std::uint8_t> bytes;
    std::atomic<int> opens{0};
};

// The input as one connection of the reader: read from the start, in
// datagrams, through a custom AVIOContext without a seek function.
class MemoryStream final : public prismeta::LiveConnection {
public:
    MemoryStream(std::shared_ptr<Input> input, prismeta::LiveInterrupt& interrupt)
        : input_(std::move(input)), interrupt_(interrupt) {}
    ~MemoryStream() override {
        avformat_close_input(&format_);
        if (io_ != nullptr) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    AVFormatContext& format() override { return *format_; }
    void beforeRead() override {
        io_->eof_reached = 0;
        io_->error = 0;
    }

    bool open(std::string& error) {
        auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
        if (buffer == nullptr) {
            error = "out of memory";
            return false;
        }
        io_ = avio_alloc_context(buffer, ioBufferSize, 0, this, &MemoryStream::read, nullptr,
                                 nullptr);
        if (io_ == nullptr) {
            av_free(buffer);
            error = "out of memory";
            return false;
        }
        io_->seekable = 0;
        format_ = avformat_alloc_context();
        if (format_ == nullptr) {
            error = "out of memory";
            return false;
        }
        format_->pb = io_;
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
        format_->interrupt_callback.callback = &prismeta::LiveInterrupt::callback;
        format_->interrupt_callback.opaque = &interrupt_;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "fflags", "nobuffer", 0);
        av_dict_set(&options, "probesize", "1048576", 0);
        // On failure FFmpeg frees the context (not the custom I/O).
        const int opened = avformat_open_input(&format_, nullptr, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0) {
            error = "not a stream";
            return false;
        }
        pauses_ = prismeta::wholeTransportStreamPictures(*format_);
        return true;
    }

private:
    static int read(void* self, std::uint8_t* buffer, int size) {
        auto* stream = static_cast<MemoryStream*>(self);
        if (stream->interrupt_.stopped()) {
            return AVERROR_EXIT;
        }
        const std::vector<std::uint8_t>& bytes = stream->input_->bytes;
        if (stream->at_ >= bytes.size()) {
            return AVERROR_EOF;
        }
        if (stream->pauses_ && !stream->paused_ && stream->ends_.pictureMayBeWhole()) {
            stream->paused_ = true;
            return AVERROR(EAGAIN);
        }
        const std::size_t count = std::min(
            {static_cast<std::size_t>(std::max(size, 0)), datagram, bytes.size() - stream->at_});
        std::memcpy(buffer, bytes.data() + stream->at_, count);
        stream->ends_.feed(std::span<const std::uint8_t>(buffer, count));
        stream->paused_ = false;
        stream->at_ += count;
        return static_cast<int>(count);
    }

    std::shared_ptr<Input> input_;
    prismeta::LiveInterrupt& interrupt_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    std::size_t at_ = 0;
    prismeta::TsPictureEnds ends_;
    bool pauses_ = false;
    bool paused_ = false;
};

void checkPicture(const prismeta::LivePicture& picture) {
    if (picture.pixels == nullptr || picture.width < 1 || picture.height < 1 ||
        picture.width > maxSide || picture.height > maxSide || picture.stride < picture.width * 4 ||
        picture.stride % 4 != 0) {
        fault("a picture has an impossible size");
    }
    // Every row's last pixel is there (the sanitizers see an overrun).
    unsigned sum = 0;
    for (int row = 0; row < picture.height; ++row) {
        sum +=
            picture
                .pixels[static_cast<std::size_t>(row) * static_cast<std::size_t>(picture.stride) +
                        static_cast<std::size_t>(picture.width) * 4 - 1];
    }
    if (sum > static_cast<unsigned>(picture.height) * 255) {
        fault("unreachable");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace prismeta;
    auto input = std::make_shared<Input>();
    input->bytes.assign(data, data + size);

    LiveReaderOptions options;
    options.maxDimension = maxSide;
    options.maxPixels = 2048 * 2048;
    options.decoderThreads = 2;
    options.openTimeout = 5s;
    options.stallTimeout = 1s;
    options.garbageTimeout = 2s;
    options.firstRetry = 10ms;
    options.lastRetry = 10ms;
    options.expectedWidth = 0; // no memory made ready ahead: each input is short
    // The opener runs on the reader's thread, which may outlive this call by
    // a moment: it holds the input itself.
    LiveOpener opener = [input](LiveInterrupt& interrupt,
                                std::string& error) -> std::unique_ptr<LiveConnection> {
        input->opens.fetch_add(1);
        auto stream = std::make_unique<MemoryStream>(input, interrupt);
        if (!stream->open(error)) {
            return nullptr;
        }
        return stream;
    };

    Clock::time_point released;
    {
        LiveReader reader("fuzz", false, std::move(opener), options);
        LivePictures& pictures = reader.pictures();
        std::uint64_t seen = 0;
        const auto deadline = Clock::now() + 20s;
        while (input->opens.load() < 2 && Clock::now() < deadline) {
            const LivePictureLease lease(&pictures, pictures.waitNewer(seen, Clock::now() + 20ms));
            if (lease) {
                checkPicture(*lease);
                seen = lease->serial;
            }
        }
        if (input->opens.load() < 2) {
            fault("the stream ended and the reader did not open it again");
        }
        (void)reader.status();
        (void)reader.takeLogLines();
        released = Clock::now();
    }
    if (Clock::now() - released > 3s) {
        fault("destroying the reader blocked");
    }
    if (LiveReader::liveReaderThreads() != 0) {
        fault("a reader thread outlived its reader");
    }
    return 0;
}
