#pragma once

#include "media/FFmpeg.h"

#include <cstdint>
#include <memory>

namespace prismeta {

// The one step of video playback that depends on how pictures are coded:
// the packets of one video stream in, its pictures out, in presentation
// order. VideoStream drives it and does everything about time (the loop, its
// length, seeking, skipping ahead), so every implementation gets the same
// looping and seeking for free. The contract is avcodec's send/receive one,
// so FFmpeg's decoders fit as they are (CodecPictureDecoder):
//
// - send(packet): the next packet in the demuxer's order, or nullptr once at
//   the end of the stream (hand out what is still held). Called only after
//   receive has answered without a picture, so AVERROR(EAGAIN) never comes
//   back. 0 when taken; a negative value when the packet is damaged (it is
//   dropped and the stream goes on).
// - receive(picture): 0 with the next picture in presentation order, moved
//   into the unreferenced frame; AVERROR(EAGAIN) when it needs another packet;
//   AVERROR_EOF once drained after send(nullptr); any other negative value
//   when one picture failed (later ones may still come). The picture carries
//   its timestamp in best_effort_timestamp (or pts), in the stream's time
//   base, AV_NOPTS_VALUE where unknown, and its packet's duration in
//   pkt_duration (0 where unknown). Its pixels are for the consumer only: the
//   stream never looks at them.
// - flush(): forget every packet and picture held (after a seek, or after
//   draining), ready for packets again.
//
// Made and used by one thread at a time; owned by the VideoStream.
class PictureDecoder {
public:
    virtual ~PictureDecoder() = default;
    virtual int send(const AVPacket* packet) = 0;
    virtual int receive(AVFrame* picture) = 0;
    virtual void flush() = 0;
};

// The decoder for a stream: FFmpeg's decoder of its codec, with threads and a
// bound on picture size. None when the codec has no decoder here or it will
// not open.
std::unique_ptr<PictureDecoder> openPictureDecoder(const AVStream& stream, std::int64_t maxPixels,
                                                   int threads);

} // namespace prismeta
