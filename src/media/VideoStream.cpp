#include "media/VideoStream.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace prismeta {

namespace {

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64Min = std::numeric_limits<std::int64_t>::min();

// How much of the end of a transport or program stream is decoded first to
// find its last picture.
constexpr std::int64_t tailBytes = std::int64_t{1} << 20;

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
    // FFmpeg knows no codec for some HAP variants (Hap7), whose blocks can
    // still go to the GPU as they are.
    return (parameters->codec_id != AV_CODEC_ID_NONE || isHapStream(*parameters)) &&
           parameters->width > 0 && parameters->height > 0;
}

bool validRate(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

// Timestamps of damaged or hostile files can be anything: arithmetic on them
// saturates instead of overflowing.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? int64Max : int64Min;
    }
    return sum;
}

std::int64_t saturatingSub(std::int64_t a, std::int64_t b) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference)) {
        return b > 0 ? int64Min : int64Max;
    }
    return difference;
}

} // namespace

std::unique_ptr<VideoStream> VideoStream::open(const std::string& path, std::int64_t maxPixels,
                                               int decoderThreads, const std::atomic<bool>* cancel,
                                               const BlockTextures& blockTextures) {
    std::unique_ptr<VideoStream> video(new VideoStream());
    video->path_ = path;
    video->cancel_ = cancel;
    if (!video->openInput()) {
        return nullptr;
    }
    const AVStream* stream = video->input_->format()->streams[video->stream_];
    const AVCodecParameters* parameters = stream->codecpar;
    if (static_cast<std::int64_t>(parameters->width) * parameters->height > maxPixels) {
        return nullptr;
    }
    video->decoder_ = openPictureDecoder(*stream, maxPixels, decoderThreads, blockTextures);
    video->route_ = pictureRoute(*parameters, blockTextures);
    video->packet_ = ff::makePacket();
    video->held_ = ff::makeFrame();
    if (!video->decoder_ || !video->packet_ || !video->held_) {
        return nullptr;
    }
    // The duration of a picture whose packet has none (Matroska blocks
    // without a default duration, for one): the stream's frame rate, found
    // by reading ahead where the header does not say. A property of the file,
    // not of where decoding began, so every playback of it agrees.
    if (!validRate(stream->avg_frame_rate) && !validRate(stream->r_frame_rate)) {
        avformat_find_stream_info(video->input_->format(), nullptr);
    }
    AVRational rate = stream->avg_frame_rate;
    if (!validRate(rate)) {
        rate = validRate(stream->r_frame_rate) ? stream->r_frame_rate : AVRational{30, 1};
    }
    video->fallbackDuration_ =
        std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), video->timeBase_));
    video->run_.atStart = true;
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
    // Program and transport streams store a time only on the picture that
    // opens a packet of the stream (a program stream muxer packs several small
    // pictures into one, and leaves the last picture without one); FFmpeg
    // fills in the others from a running estimate that a seek sets to the
    // time sought, not to the picture's. Pictures without a stored time are
    // placed after the picture before them instead (place()).
    if ((format->iformat->flags & AVFMT_TS_DISCONT) != 0) {
        format->flags |= AVFMT_FLAG_NOFILLIN;
    }
    stream_ = stream;
    timeBase_ = format->streams[stream]->time_base;
    input_ = std::move(input);
    return true;
}

int VideoStream::width() const {
    return input_ ? input_->format()->streams[stream_]->codecpar->width : 0;
}

int VideoStream::height() const {
    return input_ ? input_->format()->streams[stream_]->codecpar->height : 0;
}

std::optional<double> VideoStream::loopLength() const {
    if (!loopTs_) {
        return std::nullopt;
    }
    return static_cast<double>(*loopTs_) * av_q2d(timeBase_);
}

// Decoding

VideoStream::Read VideoStream::decode(AVFrame* frame) {
    for (;;) {
        // No input: a reopen failed (the file went away).
        if (cancelled() || !input_) {
            return Read::failed;
        }
        const int received = decoder_->receive(frame);
        if (received == 0) {
            return Read::picture;
        }
        if (received == AVERROR_EOF || (draining_ && received == AVERROR(EAGAIN)) ||
            (draining_ && ++drainErrors_ > maxDrainErrors)) {
            return Read::end;
        }
        if (draining_) {
            // A picture that failed while draining; the rest may still come.
            continue;
        }
        // EAGAIN, or a picture that failed to decode (frame threads report
        // it here): feed the next packet.
        const int read = av_read_frame(input_->format(), packet_.get());
        if (read == AVERROR_EXIT || cancelled()) {
            return Read::failed;
        }
        if (read < 0) {
            // The end of the file, or damage past which nothing can be read.
            decoder_->send(nullptr);
            draining_ = true;
            continue;
        }
        if (packet_->stream_index == stream_) {
            if ((packet_->flags & AV_PKT_FLAG_KEY) != 0) {
                keysFlagged_ = true;
                awaitKey_ = false;
            }
            // A damaged packet is skipped; the decoder conceals what it can.
            if (!awaitKey_) {
                decoder_->send(packet_.get());
            }
        }
        av_packet_unref(packet_.get());
    }
}

std::optional<std::int64_t> VideoStream::place(const AVFrame& frame) {
    std::int64_t ts = frame.best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) {
        ts = frame.pts;
    }
    if (ts == AV_NOPTS_VALUE) {
        // Follows the picture before; the file's first picture starts it.
        if (run_.haveLast) {
            ts = run_.lastEnd;
        } else if (run_.atStart) {
            ts = firstTs_.value_or(0);
        } else {
            return std::nullopt;
        }
    }
    // Pictures before the start (pre-roll after a seek) or not after the
    // previous one (damaged timestamps) would disorder the timeline.
    if ((firstTs_ && ts < *firstTs_) || (run_.haveLast && ts <= run_.lastTs)) {
        return std::nullopt;
    }
    const std::int64_t duration = frame.pkt_duration > 0 ? frame.pkt_duration : fallbackDuration_;
    run_.lastTs = ts;
    run_.lastEnd = saturatingAdd(ts, duration);
    run_.haveLast = true;
    ++run_.pictures;
    return ts;
}

VideoStream::Read VideoStream::decodePlaced(AVFrame* frame, std::int64_t* ts) {
    for (;;) {
        const Read got = decode(frame);
        if (got != Read::picture) {
            return got;
        }
        if (const auto placed = place(*frame)) {
            if (!firstTs_) {
                firstTs_ = *placed;
            }
            *ts = *placed;
            return Read::picture;
        }
        av_frame_unref(frame);
    }
}

void VideoStream::startRun(bool atStart) {
    dropHeld();
    run_ = Run{};
    run_.atStart = atStart;
    draining_ = false;
    drainErrors_ = 0;
    awaitKey_ = false;
}

void VideoStream::hold(AVFrame* frame, std::int64_t ts) {
    dropHeld();
    av_frame_move_ref(held_.get(), frame);
    haveHeld_ = true;
    heldTs_ = ts;
}

void VideoStream::dropHeld() {
    av_frame_unref(held_.get());
    haveHeld_ = false;
}

bool VideoStream::next(AVFrame* frame, double* time, double notBefore) {
    for (;;) {
        if (cancelled() || !input_) {
            return false;
        }
        std::int64_t ts = 0;
        if (haveHeld_) {
            av_frame_move_ref(frame, held_.get());
            haveHeld_ = false;
            ts = heldTs_;
        } else {
            const Read got = decodePlaced(frame, &ts);
            if (got == Read::failed) {
                return false;
            }
            if (got == Read::end) {
                if (once_ || !loopPoint(notBefore)) {
                    return false;
                }
                continue;
            }
        }
        if (floor_ && ts <= *floor_) {
            av_frame_unref(frame);
            continue;
        }
        floor_.reset();
        if (!timeOf(ts, time)) {
            av_frame_unref(frame);
            continue;
        }
        ++passDelivered_;
        return true;
    }
}

bool VideoStream::timeOf(std::int64_t ts, double* time) const {
    const std::int64_t offset = saturatingSub(ts, *firstTs_);
    // Past the loop's end: only a damaged file gets here.
    if (loopTs_ && offset >= *loopTs_) {
        return false;
    }
    // In floating point: exact for any real timeline, and no overflow for
    // absurd ones.
    const double loopStart =
        loop_ > 0 ? static_cast<double>(loop_) * static_cast<double>(loopTs_.value_or(0)) : 0.0;
    *time = (loopStart + static_cast<double>(offset)) * av_q2d(timeBase_);
    return true;
}

// Positioning

bool VideoStream::loopPoint(double notBefore) {
    // A pass without a picture, or a file whose last picture is its first (a
    // still, an image opened as a video): it stays on screen; decoding it
    // again and again would only burn the processor.
    if (passDelivered_ == 0 || run_.pictures == 0 || !firstTs_ || run_.lastTs == *firstTs_) {
        return false;
    }
    passDelivered_ = 0;
    if (!loopTs_) {
        if (run_.lastEnd <= *firstTs_) {
            return false;
        }
        loopTs_ = run_.lastEnd - *firstTs_;
    }
    ++loop_;
    const double seconds = static_cast<double>(*loopTs_) * av_q2d(timeBase_);
    if (notBefore > 0.0 && seconds > 0.0) {
        const double behind = std::floor(notBefore / seconds);
        if (behind < 1e15) {
            loop_ = std::max(loop_, static_cast<std::int64_t>(behind));
        }
    }
    floor_.reset();
    return rewindToStart();
}

bool VideoStream::seekDemuxer(std::int64_t timestamp, int flags) {
    decoder_->flush();
    startRun(false);
    const bool bytes = (flags & AVSEEK_FLAG_BYTE) != 0;
    if (av_seek_frame(input_->format(), bytes ? -1 : stream_, timestamp, flags) < 0) {
        return false;
    }
    // Decoding from a picture that is not a key frame gives broken pictures
    // (or none, and a wait to the next key frame): start at a key frame.
    awaitKey_ = keysFlagged_;
    return true;
}

bool VideoStream::rewindToStart() {
    // The ways back to the first picture, cheapest first: a seek to its pts;
    // a seek well before it (demuxers that seek by decode time land after the
    // first key frame otherwise); to the first byte (raw elementary streams
    // have no timestamps to seek by); reopening the file. The first that
    // yields the first picture is kept for the next loops.
    constexpr int firstByte = 2;
    constexpr int reopen = 3;
    for (int way = rewindWay_; way <= reopen; ++way) {
        decoder_->flush();
        startRun(true);
        AVFormatContext* format = input_->format();
        if (way == reopen) {
            input_.reset();
            if (!openInput()) {
                return false;
            }
        } else if (way == firstByte) {
            if ((format->iformat->flags & AVFMT_NO_BYTE_SEEK) != 0 ||
                av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) < 0) {
                continue;
            }
        } else {
            const std::int64_t at =
                way == 0 ? *firstTs_ : saturatingSub(*firstTs_, backoff(maxSeekAttempts));
            if (av_seek_frame(format, stream_, at, AVSEEK_FLAG_BACKWARD) < 0) {
                continue;
            }
        }
        std::int64_t ts = 0;
        const Read got = decodePlaced(held_.get(), &ts);
        if (got == Read::failed) {
            return false;
        }
        // After a reopen the file starts where it starts.
        if (got == Read::picture && (ts == *firstTs_ || way == reopen)) {
            haveHeld_ = true;
            heldTs_ = ts;
            rewindWay_ = way;
            return true;
        }
        av_frame_unref(held_.get());
    }
    return false;
}

std::int64_t VideoStream::backoff(int attempt) const {
    // One second, doubled with every attempt after the first.
    const std::int64_t second = std::max<std::int64_t>(1, av_rescale_q(1, {1, 1}, timeBase_));
    const int shift = std::max(0, attempt - 1);
    if (shift >= 62 || second > (int64Max >> shift)) {
        return int64Max;
    }
    return second << shift;
}

bool VideoStream::positionAt(std::int64_t target) {
    for (int attempt = 0; attempt < maxSeekAttempts; ++attempt) {
        const std::int64_t at = attempt == 0 ? target : saturatingSub(target, backoff(attempt));
        if (at <= *firstTs_ || !seekDemuxer(at, AVSEEK_FLAG_BACKWARD)) {
            break;
        }
        std::int64_t ts = 0;
        const Read got = decodePlaced(held_.get(), &ts);
        if (got == Read::failed) {
            return false;
        }
        if (got == Read::picture) {
            if (ts <= target) {
                haveHeld_ = true;
                heldTs_ = ts;
                return true;
            }
            // Landed after the picture wanted: from further back.
            av_frame_unref(held_.get());
        }
    }
    // Decoding forward from the start reaches every picture.
    return rewindToStart();
}

bool VideoStream::learnFirstPicture() {
    if (firstTs_) {
        return true;
    }
    // Nothing has been decoded yet: the stream is at its start.
    std::int64_t ts = 0;
    ff::Frame first = ff::makeFrame();
    if (!first || decodePlaced(first.get(), &ts) != Read::picture) {
        return false;
    }
    hold(first.get(), ts);
    return true;
}

bool VideoStream::measureLoop() {
    measureTried_ = true;
    AVFormatContext* format = input_->format();
    const AVStream* stream = format->streams[stream_];
    // Where the file ends, as its header says: a guess (transport and program
    // streams estimate it, sometimes badly), so the decoding is what counts.
    const std::int64_t start =
        stream->start_time != AV_NOPTS_VALUE ? stream->start_time : *firstTs_;
    std::optional<std::int64_t> end;
    if (stream->duration > 0) {
        end = saturatingAdd(start, stream->duration);
    } else if (format->duration > 0) {
        end = saturatingAdd(start, av_rescale_q(format->duration, AV_TIME_BASE_Q, timeBase_));
    }
    // Formats whose packets carry their own times (transport and program
    // streams) are entered by file position, from the last megabyte back.
    const int flags = format->iformat->flags;
    const bool byPosition = (flags & AVFMT_TS_DISCONT) != 0 && (flags & AVFMT_NO_BYTE_SEEK) == 0;
    const std::int64_t size = byPosition ? avio_size(format->pb) : -1;

    ff::Frame scratch = ff::makeFrame();
    if (!scratch) {
        return false;
    }
    for (int attempt = 0; attempt < maxSeekAttempts; ++attempt) {
        bool fromStart = false;
        if (size > 0) {
            const std::int64_t back = attempt >= 40 ? int64Max : tailBytes << attempt;
            fromStart = back >= size || !seekDemuxer(size - back, AVSEEK_FLAG_BYTE);
        } else if (end) {
            const std::int64_t at = attempt == 0 ? *end : saturatingSub(*end, backoff(attempt));
            fromStart = at <= *firstTs_ || !seekDemuxer(at, AVSEEK_FLAG_BACKWARD);
        } else {
            fromStart = attempt > 0 || !seekDemuxer(int64Max / 2, AVSEEK_FLAG_BACKWARD);
        }
        if (fromStart && !rewindToStart()) {
            return false;
        }
        // Every picture to the end, in the order and with the times playback
        // gives them.
        dropHeld();
        for (;;) {
            std::int64_t ts = 0;
            const Read got = decodePlaced(scratch.get(), &ts);
            av_frame_unref(scratch.get());
            if (got == Read::failed) {
                return false;
            }
            if (got == Read::end) {
                break;
            }
        }
        if (run_.pictures > 0) {
            if (run_.lastEnd <= *firstTs_) {
                return false;
            }
            loopTs_ = run_.lastEnd - *firstTs_;
            return true;
        }
        if (fromStart) {
            return false;
        }
    }
    return false;
}

std::optional<double> VideoStream::measureLength() {
    if (input_ && !loopTs_ && !measureTried_ && learnFirstPicture() && measureLoop()) {
        rewindToStart();
    }
    return loopLength();
}

bool VideoStream::seekTo(double time) {
    if (!input_) {
        return false;
    }
    if (!(time > 0.0)) {
        return true;
    }
    if (!learnFirstPicture()) {
        return false;
    }
    if (!loopTs_ && (measureTried_ || !measureLoop())) {
        rewindToStart();
        return false;
    }
    std::int64_t loop = 0;
    const std::int64_t target = timestampWithinLoop(time, &loop);
    if (loop < 0) {
        rewindToStart();
        return false;
    }
    loop_ = loop;
    floor_.reset();
    return positionAt(target);
}

std::int64_t VideoStream::timestampWithinLoop(double time, std::int64_t* loop) const {
    const double timeBase = av_q2d(timeBase_);
    const double length = static_cast<double>(*loopTs_) * timeBase;
    // Played once, every time past the end is the last picture's.
    const double loops = once_ && time >= 0.0 ? 0.0 : std::floor((time + dueSlack) / length);
    if (!(loops >= 0.0 && loops < 1e15)) {
        *loop = -1;
        return *firstTs_;
    }
    *loop = static_cast<std::int64_t>(loops);
    const double within = std::max(0.0, time - loops * length);
    const double ticks = std::floor((within + dueSlack) / timeBase);
    const double last = static_cast<double>(*loopTs_ - 1);
    return saturatingAdd(*firstTs_, static_cast<std::int64_t>(std::clamp(ticks, 0.0, last)));
}

bool VideoStream::catchUp(double time) {
    if (!input_ || !firstTs_ || !run_.haveLast) {
        return false;
    }
    // The newest picture already handed out in this loop.
    const std::int64_t shown = floor_ ? std::max(*floor_, run_.lastTs) : run_.lastTs;
    const auto resume = [&] {
        // Back to where playback was; pictures up to the one shown come again
        // and are dropped.
        floor_ = shown;
        positionAt(shown);
    };
    bool moved = false;
    if (!loopTs_) {
        if (measureTried_) {
            return false;
        }
        moved = true;
        if (!measureLoop()) {
            resume();
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
        jump = key != nullptr && key->timestamp > shown;
    }
    if (!jump) {
        if (moved) {
            resume();
        }
        return false;
    }
    if (loop > loop_) {
        loop_ = loop;
        floor_.reset();
    } else {
        floor_ = shown;
    }
    positionAt(target);
    return true;
}

} // namespace prismeta
