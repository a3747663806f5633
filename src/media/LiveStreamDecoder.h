#pragma once

#include "media/FFmpeg.h"

#include <cstdint>
#include <vector>

namespace prismeta {

// Decodes the pictures of one live input's video, packet by packet, as they
// arrive. The stream is chosen as packets come, not from a header: a
// transport stream names its programs only once it has started, and a
// sender that restarts with another codec shows up as a new stream. The
// first video stream with a decoder here is decoded; when its packets stop
// and another video stream's come, that one is decoded instead. Pictures
// larger than maxPixels, and streams that claim to be, are refused.
// Decoding uses slice threads only: frame threads would hold pictures back
// by one frame per thread.
//
// Internal to the media library; one thread at a time.
class LiveStreamDecoder {
public:
    class Sink {
    public:
        virtual void picture(AVFrame& frame) = 0;

    protected:
        ~Sink() = default;
    };

    LiveStreamDecoder(std::int64_t maxPixels, int threads);

    // Decodes one packet of format, handing every picture it completes to
    // sink (the frame is unreferenced after the call). True when the packet
    // was of the stream decoded.
    bool feed(AVFormatContext& format, AVPacket& packet, Sink& sink);

    // The stream decoded, -1 before one was found.
    int stream() const { return stream_; }
    // Pictures lost since the first one decoded: missing from the sequence
    // (their time skipped, at the stream's frame rate; not for a capture
    // device, which sets its own pace) or refused by the decoder, whichever
    // says more between two pictures. Joining a stream (packets before its
    // first picture) counts nothing.
    std::uint64_t lost() const { return lost_ + refusedSincePicture_; }

private:
    bool open(const AVStream& stream, bool partialPictures);
    bool refused(int index) const;
    void counted(const AVFormatContext& format, const AVStream& stream, const AVFrame& frame);

    std::int64_t maxPixels_;
    int threads_;
    ff::Codec codec_;
    ff::Frame frame_;
    int stream_ = -1;
    AVCodecID codecId_ = AV_CODEC_ID_NONE;
    // Packets of other video streams since the last one of ours.
    int othersSinceOwn_ = 0;
    std::vector<int> refused_;
    std::uint64_t lost_ = 0;
    std::uint64_t refusedSincePicture_ = 0;
    bool decodedOne_ = false;
    std::int64_t lastTimestamp_ = AV_NOPTS_VALUE;
};

} // namespace prismeta
