#include "calibration/ImageFiles.h"

#include "core/FileIO.h"
#include "media/ImageDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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

PictureContent describePictureContent(std::string_view head) {
    const auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
    };
    using namespace std::string_view_literals;
    struct Known {
        std::string_view magic;
        std::size_t at;
        const char* description;
        bool readable;
    };
    // Raw camera files before TIFF: several are TIFF underneath.
    static constexpr Known known[] = {
        {"\x89PNG\r\n\x1a\n"sv, 0, "PNG image data", true},
        {"\xff\xd8\xff"sv, 0, "JPEG image data", true},
        {"II*\0"sv, 0, "", true}, // told apart below
        {"MM\0*"sv, 0, "", true},
        {"IIRO"sv, 0, "Olympus raw image data", false},
        {"IIU\0"sv, 0, "Panasonic raw image data", false},
        {"FUJIFILMCCD-RAW"sv, 0, "Fujifilm raw image data", false},
        {"ftypcrx "sv, 4, "Canon CR3 raw image data", false},
        {"ftypheic"sv, 4, "HEIF image data", false},
        {"ftypheix"sv, 4, "HEIF image data", false},
        {"ftypmif1"sv, 4, "HEIF image data", false},
        {"ftypavif"sv, 4, "AVIF image data", false},
        {"id=ImageMagick"sv, 0, "MIFF image data", false},
        {"GIF87a"sv, 0, "GIF image data", true},
        {"GIF89a"sv, 0, "GIF image data", true},
        {"BM"sv, 0, "BMP image data", true},
        {"WEBP"sv, 8, "WebP image data", true},
        {"qoif"sv, 0, "QOI image data", true},
        {"8BPS"sv, 0, "Photoshop image data", false},
        {"%PDF"sv, 0, "a PDF document", false},
        {"\xff\x0a"sv, 0, "JPEG XL image data", false},
        {"\0\0\0\x0cJXL "sv, 0, "JPEG XL image data", false},
        {"\0\0\0\x0cjP  "sv, 0, "JPEG 2000 image data", true},
    };
    if (head.empty()) {
        return {"an empty file", false};
    }
    for (const Known& k : known) {
        if (!starts(k.magic, k.at)) {
            continue;
        }
        if (*k.description != '\0') {
            return {k.description, k.readable};
        }
        // TIFF, or a camera's raw file built on it.
        if (starts("CR", 8)) {
            return {"Canon CR2 raw image data", false};
        }
        return {"TIFF image data (or a raw camera file built on TIFF: NEF, ARW, DNG)", true};
    }
    if (head.size() >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '7') {
        return {"Netpbm image data", true};
    }
    const bool text = std::all_of(head.begin(), head.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 || c == '\n' || c == '\r' || c == '\t';
    });
    if (text) {
        std::string first(head.substr(0, std::min(head.find_first_of("\r\n"), head.size())));
        if (first.size() > 40) {
            first = first.substr(0, 40) + "...";
        }
        return {"text (\"" + first + "\")", false};
    }
    return {"data of no format Prismeta knows", false};
}

std::string whyPictureUnreadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return "no file";
    }
    struct stat info {};
    std::array<char, 64> head{};
    ssize_t got = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        got = ::read(fd, head.data(), head.size());
    }
    ::close(fd);
    if (got < 0) {
        return "something that is not a regular file";
    }
    const PictureContent content =
        describePictureContent(std::string_view(head.data(), static_cast<std::size_t>(got)));
    if (content.readable) {
        return content.description +
               " that does not decode (damaged, cut short or beyond the size limit)";
    }
    return content.description +
           ": not a picture format Prismeta reads (PNG, JPEG, TIFF, BMP, WebP, ...)";
}

Result<GreyImage> readGreyImage(const std::string& path) {
    const std::optional<PixelImage> decoded = decodeImageFile(path);
    if (!decoded) {
        return Result<GreyImage>::failure(path + ": " + whyPictureUnreadable(path));
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
