#include "media/PictureDecoder.h"

#include "media/CodecPictureDecoder.h"

namespace prismeta {

// Every codec goes through FFmpeg's decoders; a codec that needs a decoder of
// its own is chosen here, by the stream's parameters.
std::unique_ptr<PictureDecoder> openPictureDecoder(const AVStream& stream, std::int64_t maxPixels,
                                                   int threads) {
    return CodecPictureDecoder::open(stream, maxPixels, threads);
}

} // namespace prismeta
