#pragma once

#include "media/PictureDecoder.h"

namespace prismeta {

// A PictureDecoder on one of FFmpeg's decoders (H.264, HEVC, MPEG-2, VP9,
// MJPEG, ...), with its own frame and slice threads. Internal to the media
// library; one thread at a time.
class CodecPictureDecoder final : public PictureDecoder {
public:
    // None if the codec has no decoder here or it will not open. Pictures
    // larger than maxPixels are refused by the decoder, also when their size
    // changes after the header; threads 0 lets FFmpeg choose.
    static std::unique_ptr<CodecPictureDecoder> open(const AVStream& stream, std::int64_t maxPixels,
                                                     int threads);

    int send(const AVPacket* packet) override;
    int receive(AVFrame* picture) override;
    void flush() override;

private:
    explicit CodecPictureDecoder(ff::Codec codec) : codec_(std::move(codec)) {}

    ff::Codec codec_;
};

} // namespace prismeta
