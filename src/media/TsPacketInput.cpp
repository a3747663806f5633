#include "media/TsPacketInput.h"

#include "media/FFmpeg.h"
#include "media/LiveOpen.h"

#include <chrono>
#include <span>
#include <thread>

namespace prismeta {

namespace {

// Room for a burst of datagrams between two reads of the demuxer.
constexpr int ioBufferSize = 64 * 1024;

// How long a read waits between two looks at the protocol while nothing has
// arrived: the most a picture's last packet waits for the reader.
constexpr std::chrono::microseconds idleStep{500};

// A picture whose last packet is not padded is taken as whole after this
// much silence: a third of a frame at 30 per second. Held until the next
// picture instead, it would come a whole frame late and land in one 60 Hz
// frame with that next one, which replaces it before it is shown. A sender
// that stalls longer in the middle of a picture hands the decoder its two
// parts, which it takes (LiveStreamDecoder).
constexpr std::chrono::milliseconds unpaddedSilence{10};

} // namespace

std::unique_ptr<TsPacketInput> TsPacketInput::open(const std::string& url, AVDictionary** options,
                                                   LiveInterrupt& interrupt, std::string* error) {
    const AVIOInterruptCB callback{&LiveInterrupt::callback, &interrupt};
    AVIOContext* protocol = nullptr;
    const int opened =
        avio_open2(&protocol, url.c_str(), AVIO_FLAG_READ | AVIO_FLAG_NONBLOCK, &callback, options);
    if (opened < 0) {
        if (error != nullptr) {
            *error = liveOpenError(opened);
        }
        return nullptr;
    }
    std::unique_ptr<TsPacketInput> input(new TsPacketInput(protocol, interrupt));
    if (input->io_ == nullptr) {
        if (error != nullptr) {
            *error = "out of memory";
        }
        return nullptr;
    }
    return input;
}

TsPacketInput::TsPacketInput(AVIOContext* protocol, LiveInterrupt& interrupt)
    : protocol_(protocol), interrupt_(interrupt) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
    if (buffer == nullptr) {
        return;
    }
    io_ = avio_alloc_context(buffer, ioBufferSize, 0, this, &TsPacketInput::readPacket, nullptr,
                             nullptr);
    if (io_ == nullptr) {
        av_free(buffer);
        return;
    }
    io_->seekable = 0;
}

TsPacketInput::~TsPacketInput() {
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    avio_closep(&protocol_);
}

void TsPacketInput::rearm() {
    io_->eof_reached = 0;
    io_->error = 0;
}

int TsPacketInput::readPacket(void* self, std::uint8_t* buffer, int size) {
    return static_cast<TsPacketInput*>(self)->read(buffer, size);
}

int TsPacketInput::read(std::uint8_t* buffer, int size) {
    for (;;) {
        // Without blocking, "nothing yet" leaves the protocol's context
        // marked as ended; it is not.
        protocol_->eof_reached = 0;
        protocol_->error = 0;
        const int got = avio_read_partial(protocol_, buffer, size);
        if (got > 0) {
            ends_.feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
            reported_ = false;
            quietSince_.reset();
            return got;
        }
        if (got < 0 && got != AVERROR(EAGAIN)) {
            return got; // the end, a broken connection
        }
        if (pictures_ && !reported_) {
            const Clock::time_point now = Clock::now();
            if (!quietSince_) {
                quietSince_ = now;
            }
            if (ends_.pictureMayBeWhole() ||
                (ends_.pictureOpen() && now - *quietSince_ >= unpaddedSilence)) {
                reported_ = true;
                return AVERROR(EAGAIN);
            }
        }
        if (LiveInterrupt::callback(&interrupt_) != 0) {
            return AVERROR_EXIT;
        }
        std::this_thread::sleep_for(idleStep);
    }
}

} // namespace prismeta
