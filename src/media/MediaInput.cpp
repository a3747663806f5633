#include "media/MediaInput.h"

#include "media/FFmpegLog.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace prismeta {

namespace {

// Large enough that a 1080p stream needs few calls, small enough to be cheap
// per open input.
constexpr int ioBufferSize = 256 * 1024;

// Demuxers that want to open a second resource (a playlist's segments, the
// next file of an image sequence, an external data reference) are refused:
// a media path names exactly one regular file.
int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

} // namespace

std::unique_ptr<MediaInput> MediaInput::open(const std::string& path,
                                             const std::atomic<bool>* cancel, std::int64_t maxBytes,
                                             int* error) {
    silenceFFmpegLogging();
    int ignored = 0;
    int& why = error != nullptr ? *error : ignored;
    // The system call would stop at a NUL and open another file: such a path
    // names no file.
    if (path.find('\0') != std::string::npos) {
        why = AVERROR(ENOENT);
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = AVERROR(errno);
        return nullptr;
    }
    std::unique_ptr<MediaInput> input(new MediaInput(fd, cancel));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? AVERROR(EISDIR) : AVERROR(EINVAL);
        return nullptr;
    }
    if ((maxBytes >= 0 && info.st_size > maxBytes) || input->cancelled()) {
        why = input->cancelled() ? AVERROR_EXIT : AVERROR(EFBIG);
        return nullptr;
    }

    why = AVERROR(ENOMEM);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(ioBufferSize));
    if (buffer == nullptr) {
        return nullptr;
    }
    input->io_ = avio_alloc_context(buffer, ioBufferSize, 0, input.get(), &MediaInput::readPacket,
                                    nullptr, &MediaInput::seek);
    if (input->io_ == nullptr) {
        av_free(buffer);
        return nullptr;
    }
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr) {
        return nullptr;
    }
    format->pb = input->io_;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->interrupt_callback.callback = &MediaInput::interrupted;
    format->interrupt_callback.opaque = input.get();
    format->io_open = &refuseOpen;
    // The path still goes in: demuxers of formats without a signature (TGA,
    // for one) are chosen by its extension. On failure FFmpeg frees format.
    if (const int opened = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        opened < 0) {
        why = opened;
        return nullptr;
    }
    why = 0;
    input->format_ = format;
    return input;
}

MediaInput::~MediaInput() {
    if (format_ != nullptr) {
        avformat_close_input(&format_);
    }
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int MediaInput::readPacket(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<MediaInput*>(opaque);
    if (self->cancelled()) {
        return AVERROR_EXIT;
    }
    for (;;) {
        const ssize_t n =
            ::pread(self->fd_, buffer, static_cast<std::size_t>(size), self->position_);
        if (n > 0) {
            self->position_ += n;
            return static_cast<int>(n);
        }
        if (n == 0) {
            return AVERROR_EOF;
        }
        if (errno != EINTR) {
            return AVERROR(errno);
        }
        if (self->cancelled()) {
            return AVERROR_EXIT;
        }
    }
}

std::int64_t MediaInput::seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<MediaInput*>(opaque);
    struct stat info {};
    const auto size = [&]() -> std::int64_t {
        return ::fstat(self->fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
    };
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: {
        const std::int64_t bytes = size();
        return bytes >= 0 ? bytes : AVERROR(EIO);
    }
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = self->position_ + offset;
        break;
    case SEEK_END: {
        const std::int64_t bytes = size();
        if (bytes < 0) {
            return AVERROR(EIO);
        }
        target = bytes + offset;
        break;
    }
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0) {
        return AVERROR(EINVAL);
    }
    self->position_ = target;
    return target;
}

int MediaInput::interrupted(void* opaque) {
    return static_cast<const MediaInput*>(opaque)->cancelled() ? 1 : 0;
}

} // namespace prismeta
