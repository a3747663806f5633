#include "media/HapPictureDecoder.h"

namespace prismeta {

HapPictureDecoder::HapPictureDecoder(int width, int height, const BlockTextures& textures)
    : width_(width), height_(height), check_(width, height, textures, 0),
      pending_(ff::makeFrame()) {}

int HapPictureDecoder::send(const AVPacket* packet) {
    if (packet == nullptr) {
        draining_ = true;
        return 0;
    }
    if (havePending_) {
        return AVERROR(EAGAIN);
    }
    if (!pending_) {
        return AVERROR(ENOMEM);
    }
    if (!HapPictures::packetAsPicture(*packet, width_, height_, *pending_) ||
        check_.prepare(*pending_) == 0) {
        av_frame_unref(pending_.get());
        return AVERROR_INVALIDDATA;
    }
    havePending_ = true;
    return 0;
}

int HapPictureDecoder::receive(AVFrame* picture) {
    if (havePending_) {
        av_frame_move_ref(picture, pending_.get());
        havePending_ = false;
        return 0;
    }
    return draining_ ? AVERROR_EOF : AVERROR(EAGAIN);
}

void HapPictureDecoder::flush() {
    if (pending_) {
        av_frame_unref(pending_.get());
    }
    havePending_ = false;
    draining_ = false;
}

} // namespace prismeta
