#pragma once

#include "media/FFmpeg.h"
#include "media/HapPictures.h"
#include "media/PictureDecoder.h"

namespace prismeta {

// The PictureDecoder of a HAP stream played as GPU blocks: every packet is a
// whole, independent picture, so a packet in is a picture out, carrying the
// packet's bytes as they are (HapPictures::packetAsPicture). Packets are
// only checked here (their sections, tables and sizes against the picture,
// and their block formats against textures): a malformed one is refused as
// damaged, so a file without one good frame ends like any undecodable file.
// Decompression waits until a picture is delivered, so pictures the player
// skips cost nothing. Internal to the media library; one thread at a time.
class HapPictureDecoder final : public PictureDecoder {
public:
    HapPictureDecoder(int width, int height, const BlockTextures& textures);

    int send(const AVPacket* packet) override;
    int receive(AVFrame* picture) override;
    void flush() override;

private:
    int width_;
    int height_;
    HapPictures check_;
    ff::Frame pending_;
    bool havePending_ = false;
    bool draining_ = false;
};

} // namespace prismeta
