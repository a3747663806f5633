#include "media/VideoStream.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

// The video stream worth playing: the largest one that is not cover art.
int pickVideoStream(const AVFormatContext* format) {
    int best = -1;
    std::int64_t bestArea = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
            continue;
        }
        const std::int64_t area =
            static_cast<std::int64_t>(stream->codecpar->width) * stream->codecpar->height;
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    return best;
}

bool parametersKnown(const AVCodecParameters* parameters) {
    return parameters->codec_id != AV_CODEC_ID_NONE && parameters->width > 0 &&
           parameters->height > 0;
}

bool validRate(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

} // namespace

std::unique_ptr<VideoStream> VideoStream::open(const std::string& path, std::int64_t maxPixels,
                                               int decoderThreads,
                                               const std::atomic<bool>* cancel) {
    std::unique_ptr<VideoStream> video(new VideoStream());
    video->path_ = path;
    video->cancel_ = cancel;
    video->maxPixels_ = maxPixels;
    if (!video->openInput()) {
        return nullptr;
    }
    const AVStream* stream = video->input_->format()->streams[video->stream_];
    const AVCodecParameters* parameters = stream->codecpar;
    if (static_cast<std::int64_t>(parameters->width) * parameters->height > maxPixels) {
        return nullptr;
    }
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
        return nullptr;
    }
    video->codec_.reset(avcodec_alloc_context3(decoder));
    AVCodecContext* codec = video->codec_.get();
    if (codec == nullptr || avcodec_parameters_to_context(codec, parameters) < 0) {
        return nullptr;
    }
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = std::max(0, decoderThreads);
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    // Guards pictures whose size changes after the header, too.
    codec->max_pixels = maxPixels;
    if (avcodec_open2(codec, decoder, nullptr) < 0) {
        return nullptr;
    }
    video->packet_ = ff::makePacket();
    if (!video->packet_) {
        return nullptr;
    }
    AVRational rate = stream->avg_frame_rate;
    if (!validRate(rate)) {
        rate = validRate(stream->r_frame_rate) ? stream->r_frame_rate : AVRational{30, 1};
    }
    video->fallbackDuration_ =
        std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), video->timeBase_));
    return video;
}

VideoStream::~VideoStream() = default;

bool VideoStream::openInput() {
    auto input = MediaInput::open(path_, cancel_);
    if (!input) {
        return false;
    }
    AVFormatContext* format = input->format();
    int stream = pickVideoStream(format);
    // Containers with a full header (MP4, Matroska, AVI) describe the stream
    // already; probing further would read (and decode) the audio as well.
    if (stream < 0 || !parametersKnown(format->streams[stream]->codecpar)) {
        if (avformat_find_stream_info(format, nullptr) < 0) {
            return false;
        }
        stream = pickVideoStream(format);
    }
    if (stream < 0 || !parametersKnown(format->streams[stream]->codecpar) ||
        (stream_ >= 0 && stream != stream_)) {
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard =
            static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    stream_ = stream;
    timeBase_ = format->streams[stream]->time_base;
    input_ = std::move(input);
    return true;
}

std::optional<double> VideoStream::loopLength() const {
    if (!loopTs_) {
        return std::nullopt;
    }
    return static_cast<double>(*loopTs_) * av_q2d(timeBase_);
}

void VideoStream::resetPass() {
    draining_ = false;
    drainErrors_ = 0;
    passPictures_ = 0;
    havePassLast_ = false;
}

bool VideoStream::next(AVFrame* frame, double* time, double notBefore) {
    for (;;) {
        // No input: a reopen failed (the file went away).
        if (cancelled() || !input_) {
            return false;
        }
        const int received = avcodec_receive_frame(codec_.get(), frame);
        if (received == 0) {
            if (accept(frame, time)) {
                return true;
            }
            av_frame_unref(frame);
            continue;
        }
        if (received == AVERROR_EOF || (draining_ && received == AVERROR(EAGAIN)) ||
            (draining_ && ++drainErrors_ > maxDrainErrors)) {
            if (!restart(notBefore)) {
                return false;
            }
            continue;
        }
        if (draining_) {
            // A picture that failed while draining; the rest may still come.
            continue;
        }
        // EAGAIN, or a picture that failed to decode (frame threads report
        // it here): feed the next packet.
        const int read = av_read_frame(input_->format(), packet_.get());
        if (read == AVERROR_EXIT || cancelled()) {
            return false;
        }
        if (read < 0) {
            // The end of the file, or damage past which nothing can be read.
            avcodec_send_packet(codec_.get(), nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->stream_index == stream_) {
            // A damaged packet is skipped; the decoder conceals what it can.
            avcodec_send_packet(codec_.get(), packet_.get());
        }
        av_packet_unref(packet_.get());
    }
}

bool VideoStream::accept(AVFrame* frame, double* time) {
    std::int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) {
        ts = havePassLast_ ? lastTs_ + lastDuration_ : firstTs_.value_or(0);
    }
    if (!firstTs_) {
        firstTs_ = ts;
    }
    // Pictures before the start (pre-roll after a seek) or not after the
    // previous one (damaged timestamps) would disorder the timeline.
    if (ts < *firstTs_ || (havePassLast_ && ts <= lastTs_)) {
        return false;
    }
    lastTs_ = ts;
    lastDuration_ = frame->pkt_duration > 0 ? frame->pkt_duration : fallbackDuration_;
    havePassLast_ = true;
    ++passPictures_;
    // In floating point: exact for any real timeline, and no overflow for
    // absurd ones.
    const double loopStart =
        loop_ > 0 ? static_cast<double>(loop_) * static_cast<double>(loopTs_.value_or(0)) : 0.0;
    *time = (loopStart + static_cast<double>(ts - *firstTs_)) * av_q2d(timeBase_);
    return true;
}

bool VideoStream::restart(double notBefore) {
    // When the last picture of the file is its first, the file is a still
    // (an image opened as a video): it stays on screen; decoding it again and
    // again would only burn the processor.
    if (passPictures_ == 0 || !firstTs_ || lastTs_ == *firstTs_) {
        return false;
    }
    const std::int64_t length = lastTs_ + lastDuration_ - *firstTs_;
    if (length <= 0) {
        return false;
    }
    loopTs_ = length;
    ++loop_;
    const double seconds = static_cast<double>(length) * av_q2d(timeBase_);
    if (notBefore > 0.0) {
        const double behind = std::floor(notBefore / seconds);
        if (behind < 1e15) {
            loop_ = std::max(loop_, static_cast<std::int64_t>(behind));
        }
    }
    return rewindTo(*firstTs_);
}

bool VideoStream::rewindTo(std::int64_t timestamp) {
    resetPass();
    avcodec_flush_buffers(codec_.get());
    if (av_seek_frame(input_->format(), stream_, timestamp, AVSEEK_FLAG_BACKWARD) >= 0) {
        return true;
    }
    // Not seekable this way: start the file over.
    input_.reset();
    return openInput();
}

bool VideoStream::measureLoop() {
    measureTried_ = true;
    AVFormatContext* format = input_->format();
    const AVStream* stream = format->streams[stream_];
    std::int64_t end = std::numeric_limits<std::int64_t>::max();
    if (stream->duration > 0) {
        end = (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0) + stream->duration;
    } else if (format->duration > 0) {
        end = av_rescale_q(format->duration, AV_TIME_BASE_Q, timeBase_) +
              (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0);
    }
    // From the last key frame on, every remaining packet is read (not
    // decoded); where that seek fails, the rest of the file is scanned.
    av_seek_frame(format, stream_, end, AVSEEK_FLAG_BACKWARD);
    std::optional<std::int64_t> lastEnd;
    for (;;) {
        const int read = av_read_frame(format, packet_.get());
        if (read < 0) {
            if (read == AVERROR_EXIT || cancelled()) {
                return false;
            }
            break;
        }
        if (packet_->stream_index == stream_ && (packet_->flags & AV_PKT_FLAG_DISCARD) == 0) {
            const std::int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (ts != AV_NOPTS_VALUE) {
                const std::int64_t packetEnd =
                    ts + (packet_->duration > 0 ? packet_->duration : fallbackDuration_);
                lastEnd = std::max(lastEnd.value_or(packetEnd), packetEnd);
            }
        }
        av_packet_unref(packet_.get());
    }
    if (!lastEnd || *lastEnd <= *firstTs_) {
        return false;
    }
    loopTs_ = *lastEnd - *firstTs_;
    return true;
}

bool VideoStream::seekTo(double time) {
    if (!input_) {
        return false;
    }
    if (time <= 0.0) {
        return true;
    }
    if (!firstTs_) {
        ff::Frame first = ff::makeFrame();
        double ignored = 0.0;
        if (!first || !next(first.get(), &ignored)) {
            return false;
        }
    }
    if (!loopTs_ && (measureTried_ || !measureLoop())) {
        rewindTo(*firstTs_);
        return false;
    }
    std::int64_t loop = 0;
    const std::int64_t target = timestampWithinLoop(time, &loop);
    if (loop < 0) {
        rewindTo(*firstTs_);
        return false;
    }
    loop_ = loop;
    return rewindTo(target);
}

std::int64_t VideoStream::timestampWithinLoop(double time, std::int64_t* loop) const {
    const double timeBase = av_q2d(timeBase_);
    const double length = static_cast<double>(*loopTs_) * timeBase;
    const double loops = std::floor(time / length);
    if (!(loops >= 0.0 && loops < 1e15)) {
        *loop = -1;
        return *firstTs_;
    }
    *loop = static_cast<std::int64_t>(loops);
    const double within = time - loops * length;
    return *firstTs_ + static_cast<std::int64_t>(std::floor(within / timeBase));
}

bool VideoStream::catchUp(double time) {
    if (!input_ || !firstTs_ || !havePassLast_) {
        return false;
    }
    bool scanned = false;
    if (!loopTs_) {
        if (measureTried_) {
            return false;
        }
        scanned = true;
        if (!measureLoop()) {
            resumeAfter(lastTs_);
            return false;
        }
    }
    std::int64_t loop = 0;
    const std::int64_t target = timestampWithinLoop(time, &loop);
    bool jump = loop > loop_;
    if (loop == loop_) {
        // Index times are decode times, never after the key frame's own
        // presentation time: a key frame decoded after the current picture
        // is also shown after it.
        AVStream* stream = input_->format()->streams[stream_];
        const int entry = av_index_search_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        const AVIndexEntry* key = entry >= 0 ? avformat_index_get_entry(stream, entry) : nullptr;
        jump = key != nullptr && key->timestamp > lastTs_;
    }
    if (!jump) {
        if (scanned) {
            resumeAfter(lastTs_);
        }
        return false;
    }
    loop_ = loop;
    return rewindTo(target);
}

void VideoStream::resumeAfter(std::int64_t timestamp) {
    // Back to the key frame before the current picture; the pictures up to
    // it come again and are dropped as not after the last one.
    draining_ = false;
    drainErrors_ = 0;
    avcodec_flush_buffers(codec_.get());
    if (av_seek_frame(input_->format(), stream_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
        input_.reset();
        openInput();
    }
}

} // namespace prismeta
