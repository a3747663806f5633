#pragma once

#include "media/TsPictureEnds.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct AVDictionary;
struct AVIOContext;

namespace prismeta {

class LiveInterrupt;

// A packet protocol (UDP, SRT) read for the demuxer through an I/O context
// of our own, so that a pause right after a picture's last MPEG-TS packet
// lets the picture out of the demuxer at once instead of with the next
// picture's first packet (TsPictureEnds says when; a picture whose last
// packet is not padded waits for a silence of a third of a frame).
//
// The protocol is read without blocking; while nothing has arrived, the
// reader's thread waits in steps of a fraction of a millisecond and asks the
// interrupt between them, so stopping and the silence deadline work as
// before. The pause is reported to the demuxer as "try again": FFmpeg's
// MPEG-TS demuxer then hands out what it holds. Only once the demuxer is open
// and has found MPEG-TS (startPictures); while it is being opened, and for
// any other container, reads just wait.
class TsPacketInput {
public:
    // Opens url for reading. options are the protocol's, with its whitelist;
    // those it takes are removed, the rest are left for the demuxer. Null on
    // failure, with the reason in FFmpeg's words.
    static std::unique_ptr<TsPacketInput> open(const std::string& url, AVDictionary** options,
                                               LiveInterrupt& interrupt, std::string* error);
    ~TsPacketInput();
    TsPacketInput(const TsPacketInput&) = delete;
    TsPacketInput& operator=(const TsPacketInput&) = delete;

    // For AVFormatContext::pb (with AVFMT_FLAG_CUSTOM_IO).
    AVIOContext* io() const { return io_; }

    // The demuxer is open on MPEG-TS: pauses after a whole picture are
    // reported from now.
    void startPictures() { pictures_ = true; }

    // Before each read of the demuxer: a "try again" reported to it has
    // left the I/O context marked as ended, which would stop all reading.
    void rearm();

private:
    using Clock = std::chrono::steady_clock;

    TsPacketInput(AVIOContext* protocol, LiveInterrupt& interrupt);
    static int readPacket(void* self, std::uint8_t* buffer, int size);
    int read(std::uint8_t* buffer, int size);

    AVIOContext* protocol_;
    AVIOContext* io_ = nullptr;
    LiveInterrupt& interrupt_;
    TsPictureEnds ends_;
    bool pictures_ = false;
    // A pause was reported and nothing has arrived since.
    bool reported_ = false;
    // Since when nothing has arrived.
    std::optional<Clock::time_point> quietSince_;
};

} // namespace prismeta
