#include "media/MediaProblem.h"

#include "core/MediaSearch.h"
#include "media/FFmpeg.h"
#include "media/ImageLimits.h"
#include "media/MediaInput.h"
#include "media/PictureDecoder.h"
#include "media/VideoOptions.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>

namespace prismeta {

namespace {

MediaProblem cannotDecode(std::string reason) {
    return MediaProblem{MediaProblem::Kind::cannotDecode, std::move(reason)};
}

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// The first picture of the stream, or why there is none, decoded as it is
// shown: within the same size limits, and a still as strictly (a damaged
// one is refused there, not shown half grey).
std::optional<MediaProblem> firstPicture(AVFormatContext* format, int stream, bool video) {
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const std::int64_t maxPixels = video ? VideoOptions{}.maxPixels : ImageLimits{}.maxPixels;
    if (static_cast<std::int64_t>(parameters->width) * parameters->height > maxPixels) {
        return std::nullopt; // refused for its size, not for a fault: never decoded
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr && isHapStream(*parameters)) {
        // Its blocks go to the GPU as they are, where the textures exist.
        return std::nullopt;
    }
    if (codec == nullptr) {
        return cannotDecode("no decoder for " +
                            std::string(avcodec_get_name(parameters->codec_id)));
    }
    ff::Codec context(avcodec_alloc_context3(codec));
    ff::Packet packet = ff::makePacket();
    ff::Frame frame = ff::makeFrame();
    if (!context || !packet || !frame) {
        return cannotDecode(errorText(AVERROR(ENOMEM)));
    }
    if (const int set = avcodec_parameters_to_context(context.get(), parameters); set < 0) {
        return cannotDecode(errorText(set));
    }
    context->max_pixels = maxPixels;
    if (!video) {
        context->thread_count = 1;
        // TIFF's strict mode refuses harmless tags: the still decoder keeps
        // it lenient too.
        if (parameters->codec_id != AV_CODEC_ID_TIFF) {
            context->err_recognition |= AV_EF_EXPLODE;
        }
    }
    if (const int opened = avcodec_open2(context.get(), codec, nullptr); opened < 0) {
        return cannotDecode(errorText(opened));
    }
    constexpr int maxDecodeFailures = 64;
    int failures = 0;
    int lastError = 0;
    bool draining = false;
    for (;;) {
        const int received = avcodec_receive_frame(context.get(), frame.get());
        if (received == 0) {
            return std::nullopt;
        }
        if (received == AVERROR_EOF || (draining && received == AVERROR(EAGAIN))) {
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            // A picture that failed; a decoder that fails on and on is done.
            lastError = received;
            if (++failures > maxDecodeFailures) {
                break;
            }
            continue;
        }
        const int read = av_read_frame(format, packet.get());
        if (read < 0) {
            if (read != AVERROR_EOF) {
                lastError = read;
            }
            avcodec_send_packet(context.get(), nullptr);
            draining = true;
            continue;
        }
        if (packet->stream_index == stream) {
            if (const int sent = avcodec_send_packet(context.get(), packet.get()); sent < 0) {
                lastError = sent;
            }
        }
        av_packet_unref(packet.get());
    }
    return cannotDecode(lastError < 0 ? errorText(lastError) : "no picture in it");
}

} // namespace

std::string MediaProblem::text() const {
    return kind == Kind::notFound ? "not found" : "cannot be decoded: " + reason;
}

std::optional<MediaProblem> diagnoseMediaFile(const std::string& path, bool video) {
    // Missing as the project's media checks have it (a symbolic link loop, a
    // name too long for the system, included), so that a show's log and the
    // command line name the same files "not found". Whatever else the system
    // refuses (a file that cannot be read) is said by opening it.
    if (path.empty() || path.find('\0') != std::string::npos ||
        isMissing(std::filesystem::path(path))) {
        return MediaProblem{};
    }
    int error = 0;
    // A still is read whole: one larger than the still decoder reads is not
    // read here either (its size, not a fault, keeps it off the screen).
    const auto input =
        MediaInput::open(path, nullptr, video ? -1 : ImageLimits{}.maxFileBytes, &error);
    if (!input) {
        if (error == AVERROR(EFBIG)) {
            return std::nullopt;
        }
        return cannotDecode(errorText(error));
    }
    AVFormatContext* format = input->format();
    // Stills need no probing; a stream without parameters in the header does.
    if (format->nb_streams == 0 || format->streams[0]->codecpar->width <= 0) {
        if (const int found = avformat_find_stream_info(format, nullptr); found < 0) {
            return cannotDecode(errorText(found));
        }
    }
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return cannotDecode(video ? "no video stream" : "no picture in it");
    }
    return firstPicture(format, stream, video);
}

} // namespace prismeta
