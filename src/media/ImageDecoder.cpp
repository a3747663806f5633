#include "media/ImageDecoder.h"

#include "media/FFmpeg.h"
#include "media/MediaInput.h"
#include "media/PixelConverter.h"

namespace prismeta {

namespace {

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

int firstVideoStream(AVFormatContext* format) {
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A picture the decoder had to patch up (missing data, bad checksums) is a
// damaged file, not an image.
bool damaged(const AVFrame& frame) {
    return (frame.flags & AV_FRAME_FLAG_CORRUPT) != 0 || frame.decode_error_flags != 0;
}

// The first picture of the stream, or none.
ff::Frame decodeFirstPicture(AVFormatContext* format, int stream, AVCodecContext* codec,
                             const std::atomic<bool>* cancel) {
    ff::Frame frame = ff::makeFrame();
    ff::Packet packet = ff::makePacket();
    if (!frame || !packet) {
        return nullptr;
    }
    bool flushed = false;
    for (;;) {
        const int received = avcodec_receive_frame(codec, frame.get());
        if (received == 0) {
            return damaged(*frame) ? nullptr : std::move(frame);
        }
        if (received != AVERROR(EAGAIN) || flushed || cancelled(cancel)) {
            return nullptr;
        }
        const int read = av_read_frame(format, packet.get());
        if (read == AVERROR_EXIT) {
            return nullptr;
        }
        if (read < 0) {
            // End of the file: hand the decoder whatever it still holds.
            flushed = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(codec, packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                return nullptr;
            }
        } else {
            av_packet_unref(packet.get());
        }
    }
}

} // namespace

std::optional<PixelImage> decodeImageFile(const std::string& path, const ImageLimits& limits,
                                          const std::atomic<bool>* cancel) {
    const auto input = MediaInput::open(path, cancel, limits.maxFileBytes);
    if (!input) {
        return std::nullopt;
    }
    AVFormatContext* format = input->format();
    int stream = firstVideoStream(format);
    if (stream < 0) {
        // A few containers only name their streams once probed further.
        if (avformat_find_stream_info(format, nullptr) < 0) {
            return std::nullopt;
        }
        stream = firstVideoStream(format);
        if (stream < 0) {
            return std::nullopt;
        }
    }
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
        return std::nullopt;
    }
    ff::Codec codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) {
        return std::nullopt;
    }
    // The budget is checked by the decoder against the header's size before
    // it allocates the picture.
    codec->max_pixels = limits.maxPixels;
    codec->thread_count = 1;
    // Strict decoding, so that a truncated or damaged file is refused instead
    // of shown half grey. TIFF's strict mode refuses every tag it does not
    // know, harmless metadata included (FFmpeg's own encoder writes one), so
    // TIFF stays lenient; its truncation fails on the directory offsets.
    if (parameters->codec_id != AV_CODEC_ID_TIFF) {
        codec->err_recognition |= AV_EF_EXPLODE;
    }
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return std::nullopt;
    }

    const ff::Frame frame = decodeFirstPicture(format, stream, codec.get(), cancel);
    if (!frame || frame->width <= 0 || frame->height <= 0 || cancelled(cancel) ||
        static_cast<std::int64_t>(frame->width) * frame->height > limits.maxPixels) {
        return std::nullopt;
    }

    PixelConverter converter(PixelConverter::Quality::smooth);
    return converter.toPixelImage(*frame, ChannelOrder::rgba, limits.maxDimension);
}

} // namespace prismeta
