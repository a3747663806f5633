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

namespace {

// The file's first picture, decoded strictly; none on any failure.
ff::Frame decodeFirstImageFrame(const std::string& path, const ImageLimits& limits,
                                const std::atomic<bool>* cancel) {
    const auto input = MediaInput::open(path, cancel, limits.maxFileBytes);
    if (!input) {
        return nullptr;
    }
    AVFormatContext* format = input->format();
    int stream = firstVideoStream(format);
    if (stream < 0) {
        // A few containers only name their streams once probed further.
        if (avformat_find_stream_info(format, nullptr) < 0) {
            return nullptr;
        }
        stream = firstVideoStream(format);
        if (stream < 0) {
            return nullptr;
        }
    }
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
        return nullptr;
    }
    ff::Codec codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) {
        return nullptr;
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
        return nullptr;
    }

    ff::Frame frame = decodeFirstPicture(format, stream, codec.get(), cancel);
    if (!frame || frame->width <= 0 || frame->height <= 0 || cancelled(cancel) ||
        static_cast<std::int64_t>(frame->width) * frame->height > limits.maxPixels) {
        return nullptr;
    }
    return frame;
}

// How one pixel of a picture stored at 8 or 16 bits per sample gives its grey
// value at 16 bits.
struct GreyLayout {
    int bytesPerSample = 1; // 1 or 2
    int samplesPerPixel = 1;
    bool bigEndian = false;
    bool rgb = false; // three samples to weigh; else the first is grey
};

std::optional<GreyLayout> greyLayout(int format) {
    switch (format) {
    case AV_PIX_FMT_GRAY8:
        return GreyLayout{1, 1, false, false};
    case AV_PIX_FMT_YA8:
        return GreyLayout{1, 2, false, false};
    case AV_PIX_FMT_GRAY16BE:
        return GreyLayout{2, 1, true, false};
    case AV_PIX_FMT_GRAY16LE:
        return GreyLayout{2, 1, false, false};
    case AV_PIX_FMT_YA16BE:
        return GreyLayout{2, 2, true, false};
    case AV_PIX_FMT_YA16LE:
        return GreyLayout{2, 2, false, false};
    case AV_PIX_FMT_RGB48BE:
        return GreyLayout{2, 3, true, true};
    case AV_PIX_FMT_RGB48LE:
        return GreyLayout{2, 3, false, true};
    case AV_PIX_FMT_RGBA64BE:
        return GreyLayout{2, 4, true, true};
    case AV_PIX_FMT_RGBA64LE:
        return GreyLayout{2, 4, false, true};
    default:
        return std::nullopt;
    }
}

// Rec. 709 luma in whole numbers, so that equal channels give their value.
std::uint32_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (2126 * r + 7152 * g + 722 * b + 5000) / 10000;
}

} // namespace

std::optional<PixelImage> decodeImageFile(const std::string& path, const ImageLimits& limits,
                                          const std::atomic<bool>* cancel) {
    const ff::Frame frame = decodeFirstImageFrame(path, limits, cancel);
    if (!frame) {
        return std::nullopt;
    }
    PixelConverter converter(PixelConverter::Quality::smooth);
    return converter.toPixelImage(*frame, ChannelOrder::rgba, limits.maxDimension);
}

std::optional<GreyImage> decodeGreyImageFile(const std::string& path, const ImageLimits& limits,
                                             const std::atomic<bool>* cancel) {
    const ff::Frame frame = decodeFirstImageFrame(path, limits, cancel);
    if (!frame) {
        return std::nullopt;
    }
    GreyImage image;
    const std::optional<GreyLayout> layout = greyLayout(frame->format);
    if (layout && frame->width <= limits.maxDimension && frame->height <= limits.maxDimension) {
        image.width = frame->width;
        image.height = frame->height;
        image.values.resize(static_cast<std::size_t>(image.width) *
                            static_cast<std::size_t>(image.height));
        const auto sample = [&layout](const std::uint8_t* p) -> std::uint32_t {
            if (layout->bytesPerSample == 1) {
                return p[0] * 257u;
            }
            return layout->bigEndian ? (std::uint32_t{p[0]} << 8) | p[1]
                                     : (std::uint32_t{p[1]} << 8) | p[0];
        };
        const int pixelBytes = layout->bytesPerSample * layout->samplesPerPixel;
        for (int y = 0; y < image.height; ++y) {
            const std::uint8_t* row =
                frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
            std::uint16_t* out = image.values.data() + static_cast<std::size_t>(y) * image.width;
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * pixelBytes;
                const std::uint32_t value =
                    layout->rgb ? luma(sample(p), sample(p + layout->bytesPerSample),
                                       sample(p + 2 * layout->bytesPerSample))
                                : sample(p);
                out[x] = static_cast<std::uint16_t>(value);
            }
        }
        return image;
    }
    PixelConverter converter(PixelConverter::Quality::smooth);
    const std::optional<PixelImage> rgba =
        converter.toPixelImage(*frame, ChannelOrder::rgba, limits.maxDimension);
    if (!rgba) {
        return std::nullopt;
    }
    image.width = rgba->width;
    image.height = rgba->height;
    image.values.resize(static_cast<std::size_t>(image.width) *
                        static_cast<std::size_t>(image.height));
    for (std::size_t i = 0; i < image.values.size(); ++i) {
        const std::uint8_t* p = rgba->pixels.data() + i * 4;
        image.values[i] = static_cast<std::uint16_t>(luma(p[0], p[1], p[2]) * 257u);
    }
    return image;
}

} // namespace prismeta
