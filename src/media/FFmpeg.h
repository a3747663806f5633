#pragma once

// FFmpeg's C headers and owning handles for its objects. Internal to the media
// library: public headers never include it, so the renderer and the
// application do not see FFmpeg.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace prismeta::ff {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct CodecFree {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct AvFree {
    void operator()(void* memory) const { av_free(memory); }
};

using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;
using Buffer = std::unique_ptr<std::uint8_t[], AvFree>;

inline Frame makeFrame() {
    return Frame(av_frame_alloc());
}
inline Packet makePacket() {
    return Packet(av_packet_alloc());
}

} // namespace prismeta::ff
