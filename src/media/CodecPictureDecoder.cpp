#include "media/CodecPictureDecoder.h"

#include <algorithm>

namespace prismeta {

std::unique_ptr<CodecPictureDecoder>
CodecPictureDecoder::open(const AVStream& stream, std::int64_t maxPixels, int threads) {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (decoder == nullptr) {
        return nullptr;
    }
    ff::Codec codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) {
        return nullptr;
    }
    codec->pkt_timebase = stream.time_base;
    codec->thread_count = std::max(0, threads);
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    codec->max_pixels = maxPixels;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return nullptr;
    }
    return std::unique_ptr<CodecPictureDecoder>(new CodecPictureDecoder(std::move(codec)));
}

int CodecPictureDecoder::send(const AVPacket* packet) {
    return avcodec_send_packet(codec_.get(), packet);
}

int CodecPictureDecoder::receive(AVFrame* picture) {
    return avcodec_receive_frame(codec_.get(), picture);
}

void CodecPictureDecoder::flush() {
    avcodec_flush_buffers(codec_.get());
}

} // namespace prismeta
