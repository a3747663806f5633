#pragma once

#include "media/FFmpeg.h"
#include "media/HapDecoder.h"
#include "media/VideoFrame.h"
#include "media/VideoOptions.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace prismeta {

// The pictures of a HAP stream as compressed textures, with no decoding to
// pixels: each frame's packet travels through the stream's timeline
// untouched (packetAsPicture), and only a picture that will be shown is
// parsed and decompressed (write), straight into the player's buffer.
//
// Internal to the media library; used by one decoding thread.
class HapPictures {
public:
    // The picture size comes from the container; textures are the block
    // families the renderer samples (a frame in any other is refused).
    HapPictures(int width, int height, const BlockTextures& textures, int helpers = -1);

    // Wraps a packet as a picture frame for the stream's timeline: the
    // packet's bytes (a new reference, no copy where the packet is
    // reference-counted) as plane 0, linesize[0] = their length, with its
    // timestamp and duration. False when that cannot be had.
    static bool packetAsPicture(const AVPacket& packet, int width, int height, AVFrame& picture);
    // The packet bytes of such a frame.
    static std::span<const std::uint8_t> packetOf(const AVFrame& picture);

    // Parses and checks the frame's packet: the bytes write needs (0 when
    // the frame is malformed, does not fill the picture's blocks, or needs
    // textures the renderer lacks).
    std::size_t prepare(const AVFrame& picture);
    // Decompresses the frame last prepared into memory (prepare's bytes
    // long) and describes it in out (format, bytes, alpha image; the caller
    // sets the time). False when its data is corrupt.
    bool write(const AVFrame& picture, std::uint8_t* memory, VideoFrame& out);

private:
    int width_;
    int height_;
    BlockTextures textures_;
    HapDecoder decoder_;
};

} // namespace prismeta
