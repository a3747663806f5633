#include "calibration/ImageFiles.h"

#include "core/FileIO.h"
#include "media/ImageDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <cmath>

namespace prismeta::calibration {

namespace {

// The PNG bytes of one picture through FFmpeg's encoder.
Result<std::string> encodePng(const std::uint8_t* data, int lineBytes, int width, int height,
                              AVPixelFormat format) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) {
        return Result<std::string>::failure("no PNG encoder");
    }
    struct Context {
        AVCodecContext* p;
        ~Context() { avcodec_free_context(&p); }
    } context{avcodec_alloc_context3(codec)};
    struct Frame {
        AVFrame* p;
        ~Frame() { av_frame_free(&p); }
    } frame{av_frame_alloc()};
    struct Packet {
        AVPacket* p;
        ~Packet() { av_packet_free(&p); }
    } packet{av_packet_alloc()};
    if (context.p == nullptr || frame.p == nullptr || packet.p == nullptr) {
        return Result<std::string>::failure("out of memory");
    }
    context.p->width = width;
    context.p->height = height;
    context.p->pix_fmt = format;
    context.p->time_base = AVRational{1, 1};
    if (avcodec_open2(context.p, codec, nullptr) < 0) {
        return Result<std::string>::failure("the PNG encoder cannot be opened");
    }
    frame.p->format = format;
    frame.p->width = width;
    frame.p->height = height;
    // Borrowed pixels: the encoder reads them during send_frame only.
    frame.p->data[0] = const_cast<std::uint8_t*>(data);
    frame.p->linesize[0] = lineBytes;
    if (avcodec_send_frame(context.p, frame.p) < 0 || avcodec_send_frame(context.p, nullptr) < 0 ||
        avcodec_receive_packet(context.p, packet.p) < 0) {
        return Result<std::string>::failure("the PNG encoder failed");
    }
    return std::string(reinterpret_cast<const char*>(packet.p->data),
                       static_cast<std::size_t>(packet.p->size));
}

Status writeBytes(const std::string& path, const Result<std::string>& png) {
    if (!png) {
        return Status::failure(png.error());
    }
    return writeFileAtomically(path, png.value());
}

} // namespace

Result<GreyImage> readGreyImage(const std::string& path) {
    const std::optional<PixelImage> decoded = decodeImageFile(path);
    if (!decoded) {
        return Result<GreyImage>::failure("cannot read the picture " + path);
    }
    GreyImage out(decoded->width, decoded->height);
    const std::size_t count = out.pixels.size();
    const std::uint8_t* px = decoded->pixels.data();
    const bool bgra = decoded->order == ChannelOrder::bgra;
    for (std::size_t i = 0; i < count; ++i, px += 4) {
        const int r = bgra ? px[2] : px[0];
        const int b = bgra ? px[0] : px[2];
        out.pixels[i] = static_cast<std::uint8_t>((299 * r + 587 * px[1] + 114 * b + 500) / 1000);
    }
    return out;
}

Status writeGreyPng(const std::string& path, const GreyImage& image) {
    if (image.empty()) {
        return Status::failure("an empty picture");
    }
    return writeBytes(path, encodePng(image.pixels.data(), image.width, image.width, image.height,
                                      AV_PIX_FMT_GRAY8));
}

Status writeGrey16Png(const std::string& path, const Grey16Image& image) {
    if (image.width <= 0 || image.height <= 0) {
        return Status::failure("an empty picture");
    }
    // PNG stores 16-bit samples big-endian.
    std::vector<std::uint8_t> bytes(image.values.size() * 2);
    for (std::size_t i = 0; i < image.values.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(image.values[i] >> 8);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(image.values[i] & 0xff);
    }
    return writeBytes(path, encodePng(bytes.data(), image.width * 2, image.width, image.height,
                                      AV_PIX_FMT_GRAY16BE));
}

} // namespace prismeta::calibration
