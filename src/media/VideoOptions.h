#pragma once

#include <cstdint>

namespace prismeta {

// What a renderer takes as GPU-compressed textures: the families it
// samples, S3TC (DXT1, DXT5), RGTC (RGTC1) and BPTC, and the largest side a
// texture may have (blocks cannot be scaled down to fit).
struct BlockTextures {
    bool s3tc = false;
    bool rgtc = false;
    bool bptc = false;
    int maxSide = 16384;
};

// How a video's pictures come out of the media library: decoded to pixels,
// or as the GPU blocks the file stores (HAP); a HAP video whose blocks the
// renderer cannot take is decoded to pixels instead. Undecided until the
// file is open.
enum class PictureRoute { undecided, pixels, blocks, pixelsForLackOfTextures };

// Bounds and resources for playing one video.
struct VideoOptions {
    // Largest side of a delivered picture: the GL maximum texture size. Larger
    // videos are scaled down to fit, aspect kept.
    int maxDimension = 16384;
    // Largest coded picture (width * height) accepted at all; beyond it the
    // file is refused before anything is decoded.
    std::int64_t maxPixels = std::int64_t{8192} * 8192;
    // Decoder threads; 0 lets FFmpeg choose from the core count.
    int decoderThreads = 0;
    // Picture buffers: the pictures converted ahead plus the one leased to the
    // renderer. At least 2.
    int bufferCount = 4;
    // A video stored as GPU blocks (HAP) whose blocks these families cover
    // is handed out as blocks, with no decoding to pixels; with none (the
    // default) every video decodes to BGRA.
    BlockTextures blockTextures;
    // Play the file once from its start and stop at its last picture instead
    // of looping: media times past the end show the last picture.
    bool once = false;
};

} // namespace prismeta
