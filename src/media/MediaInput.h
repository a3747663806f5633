#pragma once

#include "media/FFmpeg.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace prismeta {

// An FFmpeg demuxer over one regular file, fed through the library's own
// reader so that nothing can block: the path is opened without blocking and
// refused unless fstat says it is a regular file (a FIFO, a folder or
// /dev/zero would stall or never end), every read first checks the cancel
// flag (also installed as FFmpeg's interrupt callback), and the demuxer may
// not open any other file or URL (playlists, image sequences, references).
// Internal to the media library. Used by one thread at a time; the cancel
// flag may be raised from any thread and must outlive the input.
class MediaInput {
public:
    // Opens and probes path. Returns none, silently, on any failure: not a
    // regular file, a path holding a NUL, larger than maxBytes (when given),
    // unknown format, or cancelled. error, when given, then learns why, as an
    // FFmpeg error code (AVERROR(errno) for the system's refusals).
    static std::unique_ptr<MediaInput> open(const std::string& path,
                                            const std::atomic<bool>* cancel,
                                            std::int64_t maxBytes = -1, int* error = nullptr);
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    AVFormatContext* format() const { return format_; }

private:
    MediaInput(int fd, const std::atomic<bool>* cancel) : fd_(fd), cancel_(cancel) {}

    static int readPacket(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);
    static int interrupted(void* opaque);
    bool cancelled() const {
        return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed);
    }

    int fd_ = -1;
    const std::atomic<bool>* cancel_ = nullptr;
    std::int64_t position_ = 0;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

} // namespace prismeta
