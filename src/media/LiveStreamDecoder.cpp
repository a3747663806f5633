#include "media/LiveStreamDecoder.h"

#include <algorithm>

namespace prismeta {

namespace {

// Pictures of another video stream, with none of ours between them, after
// which that stream is the one decoded: about half a second of video.
constexpr int switchAfter = 15;

// Failed pictures one packet may report before the rest wait for the next.
constexpr int maxFailures = 16;

// A jump in the timestamps longer than this is a sender that started again
// or a discontinuity, not pictures lost.
constexpr double longestGapSeconds = 2.0;

bool validRate(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

// A capture device sets its own pace (a camera slows down in the dark):
// only its stream's refused pictures count as lost, not its gaps.
bool isDevice(const AVFormatContext& format) {
    const AVClass* type = format.iformat != nullptr ? format.iformat->priv_class : nullptr;
    return type != nullptr && type->category == AV_CLASS_CATEGORY_DEVICE_VIDEO_INPUT;
}

bool isVideo(const AVStream& stream) {
    return stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
}

} // namespace

LiveStreamDecoder::LiveStreamDecoder(std::int64_t maxPixels, int threads)
    : maxPixels_(maxPixels), threads_(threads), frame_(ff::makeFrame()) {}

bool LiveStreamDecoder::refused(int index) const {
    return std::find(refused_.begin(), refused_.end(), index) != refused_.end();
}

void LiveStreamDecoder::counted(const AVFormatContext& format, const AVStream& stream,
                                const AVFrame& frame) {
    std::uint64_t missing = 0;
    const std::int64_t timestamp = frame.best_effort_timestamp;
    AVRational rate = codec_->framerate;
    if (!validRate(rate)) {
        rate = validRate(stream.avg_frame_rate) ? stream.avg_frame_rate : stream.r_frame_rate;
    }
    if (decodedOne_ && timestamp != AV_NOPTS_VALUE && lastTimestamp_ != AV_NOPTS_VALUE &&
        validRate(rate) && validRate(stream.time_base) && !isDevice(format)) {
        const double seconds =
            (static_cast<double>(timestamp) - static_cast<double>(lastTimestamp_)) *
            av_q2d(stream.time_base);
        const double frames = seconds * av_q2d(rate);
        if (frames >= 1.5 && seconds <= longestGapSeconds) {
            missing = static_cast<std::uint64_t>(frames + 0.5) - 1;
        }
    }
    if (decodedOne_) {
        lost_ += std::max(missing, refusedSincePicture_);
    }
    refusedSincePicture_ = 0;
    decodedOne_ = true;
    lastTimestamp_ = timestamp;
}

bool LiveStreamDecoder::open(const AVStream& stream, bool partialPictures) {
    lost_ += refusedSincePicture_;
    refusedSincePicture_ = 0;
    decodedOne_ = false;
    lastTimestamp_ = AV_NOPTS_VALUE;
    codec_.reset();
    codecId_ = stream.codecpar->codec_id;
    const AVCodecParameters* parameters = stream.codecpar;
    if (static_cast<std::int64_t>(parameters->width) * parameters->height > maxPixels_) {
        return false;
    }
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
        return false;
    }
    ff::Codec codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), parameters) < 0) {
        return false;
    }
    codec->pkt_timebase = stream.time_base;
    codec->thread_count = std::max(0, threads_);
    codec->thread_type = FF_THREAD_SLICE;
    codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (partialPictures) {
        // Without the demuxer's parser a packet is what the sender put in
        // one PES: nearly always a whole picture, but it may be a part.
        codec->flags2 |= AV_CODEC_FLAG2_CHUNKS;
    }
    codec->max_pixels = maxPixels_;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return false;
    }
    codec_ = std::move(codec);
    return true;
}

bool LiveStreamDecoder::feed(AVFormatContext& format, AVPacket& packet, Sink& sink) {
    if (packet.stream_index < 0 ||
        static_cast<unsigned>(packet.stream_index) >= format.nb_streams || !frame_) {
        return false;
    }
    AVStream& stream = *format.streams[packet.stream_index];
    if (!isVideo(stream)) {
        // Audio, data, subtitles: the demuxer may skip them from now on.
        stream.discard = AVDISCARD_ALL;
        return false;
    }
    const bool partialPictures = (format.flags & AVFMT_FLAG_NOPARSE) != 0;
    if (packet.stream_index != stream_) {
        if (refused(packet.stream_index) || (stream_ >= 0 && ++othersSinceOwn_ < switchAfter)) {
            return false;
        }
        stream_ = packet.stream_index;
        othersSinceOwn_ = 0;
        if (!open(stream, partialPictures)) {
            refused_.push_back(stream_);
            stream_ = -1;
            return false;
        }
    } else if (stream.codecpar->codec_id != codecId_) {
        // The demuxer learnt another codec for this stream.
        if (!open(stream, partialPictures)) {
            refused_.push_back(stream_);
            stream_ = -1;
            return false;
        }
    }
    othersSinceOwn_ = 0;
    if (!codec_) {
        return false;
    }
    // A damaged packet is refused; the decoder conceals what it can of the
    // pictures after it.
    const int sent = avcodec_send_packet(codec_.get(), &packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && decodedOne_) {
        ++refusedSincePicture_;
    }
    for (int failures = 0; failures < maxFailures;) {
        const int received = avcodec_receive_frame(codec_.get(), frame_.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            break;
        }
        if (received < 0) {
            ++failures; // one picture failed; later ones may still come
            if (decodedOne_) {
                ++refusedSincePicture_;
            }
            continue;
        }
        counted(format, stream, *frame_);
        if (frame_->width > 0 && frame_->height > 0 &&
            static_cast<std::int64_t>(frame_->width) * frame_->height <= maxPixels_) {
            sink.picture(*frame_);
        }
        av_frame_unref(frame_.get());
    }
    return true;
}

} // namespace prismeta
