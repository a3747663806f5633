#include "media/LiveOpen.h"

#include "media/FFmpeg.h"
#include "media/FFmpegLog.h"
#include "media/TsPacketInput.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/dict.h>
}

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace prismeta {

namespace {

// What each kind of source may open beneath itself. A playlist, an SDP file
// or an RTSP server names further resources; none of them may reach a local
// file or another protocol.
constexpr const char* whitelistSrt = "srt";
constexpr const char* whitelistUdp = "udp";
constexpr const char* whitelistRtp = "rtp,udp";
constexpr const char* whitelistRtsp = "rtsp,rtp,udp,tcp";
constexpr const char* whitelistHttp = "http,https,tls,tcp,crypto";
constexpr const char* whitelistSdp = "file,rtp,udp";

// The character devices of Video4Linux: a path under /dev that is not one
// (a disk, /dev/zero) is never opened.
constexpr unsigned videoDeviceMajor = 81;

// Enough of a stream to recognise its container; pictures are decoded as
// they come, not analysed ahead.
constexpr const char* probeBytes = "1048576";

std::string microseconds(int milliseconds) {
    return std::to_string(static_cast<std::int64_t>(milliseconds) * 1000);
}

std::string frameRateText(double fps) {
    // V4L2 takes a rational; whole rates as they are, others as 1000ths.
    if (std::trunc(fps) == fps) {
        return std::to_string(static_cast<long long>(fps));
    }
    return std::to_string(std::llround(fps * 1000.0)) + "/1000";
}

bool queryHas(std::string_view url, std::string_view key) {
    const std::size_t query = url.find('?');
    if (query == std::string_view::npos) {
        return false;
    }
    std::string_view params = url.substr(query + 1);
    while (!params.empty()) {
        const std::size_t amp = params.find('&');
        const std::string_view param = params.substr(0, amp);
        if (param.substr(0, param.find('=')) == key) {
            return true;
        }
        if (amp == std::string_view::npos) {
            break;
        }
        params.remove_prefix(amp + 1);
    }
    return false;
}

std::string queryValue(std::string_view url, std::string_view key) {
    const std::size_t query = url.find('?');
    if (query == std::string_view::npos) {
        return {};
    }
    std::string_view params = url.substr(query + 1);
    while (!params.empty()) {
        const std::size_t amp = params.find('&');
        const std::string_view param = params.substr(0, amp);
        const std::size_t equals = param.find('=');
        if (equals != std::string_view::npos && param.substr(0, equals) == key) {
            return std::string(param.substr(equals + 1));
        }
        if (amp == std::string_view::npos) {
            break;
        }
        params.remove_prefix(amp + 1);
    }
    return {};
}

} // namespace

std::string_view LiveOpenPlan::option(std::string_view key) const {
    for (const auto& [name, value] : options) {
        if (name == key) {
            return value;
        }
    }
    return {};
}

LiveOpenPlan planLiveOpen(std::string_view source, const LiveOptions& options) {
    LiveOpenPlan plan;
    plan.url = std::string(source);
    const auto set = [&plan](std::string key, std::string value) {
        plan.options.emplace_back(std::move(key), std::move(value));
    };
    // No buffering beyond what the protocol needs: packets go to the decoder
    // as they arrive.
    const auto streamDefaults = [&] {
        set("fflags", "nobuffer");
        set("probesize", probeBytes);
    };
    switch (liveSourceType(source)) {
    case LiveSourceType::captureDevice:
        plan.inputFormat = "video4linux2";
        if (options.width && options.height) {
            set("video_size", liveSizeText(*options.width, *options.height));
        }
        if (options.fps) {
            set("framerate", frameRateText(*options.fps));
        }
        if (options.format) {
            set("input_format", *options.format);
        }
        break;
    case LiveSourceType::srt:
        streamDefaults();
        set("protocol_whitelist", whitelistSrt);
        plan.packetInput = true;
        plan.passive = queryValue(source, "mode") == "listener";
        if (options.latencyMs && !queryHas(source, "latency")) {
            set("latency", microseconds(*options.latencyMs));
        }
        break;
    case LiveSourceType::udp:
        streamDefaults();
        set("protocol_whitelist", whitelistUdp);
        plan.passive = true;
        plan.packetInput = true;
        // A burst larger than the receive buffer loses packets (the decoder
        // conceals them) instead of ending the input.
        set("overrun_nonfatal", "1");
        if (!queryHas(source, "buffer_size")) {
            set("buffer_size", "4194304");
        }
        break;
    case LiveSourceType::rtp:
        streamDefaults();
        set("protocol_whitelist", whitelistRtp);
        plan.passive = true;
        if (options.latencyMs) {
            set("max_delay", microseconds(*options.latencyMs));
        }
        break;
    case LiveSourceType::rtsp:
        streamDefaults();
        set("protocol_whitelist", whitelistRtsp);
        if (options.latencyMs) {
            set("max_delay", microseconds(*options.latencyMs));
        }
        break;
    case LiveSourceType::http:
        streamDefaults();
        set("protocol_whitelist", whitelistHttp);
        // The newest segment, not three behind.
        set("live_start_index", "-1");
        break;
    case LiveSourceType::sdpFile:
        streamDefaults();
        plan.inputFormat = "sdp";
        set("protocol_whitelist", whitelistSdp);
        plan.passive = true;
        if (options.latencyMs) {
            set("max_delay", microseconds(*options.latencyMs));
        }
        break;
    case LiveSourceType::unknown:
        plan.refusal = "not a capture device, a stream URL (srt, udp, rtp, rtsp, http, https) "
                       "or an SDP file";
        break;
    }
    return plan;
}

bool LiveInterrupt::timedOut() const {
    const Clock::rep deadline = deadline_.load(std::memory_order_relaxed);
    return deadline != noDeadline && Clock::now().time_since_epoch().count() >= deadline;
}

int LiveInterrupt::callback(void* self) {
    const auto* interrupt = static_cast<const LiveInterrupt*>(self);
    return interrupt->stopped() || interrupt->timedOut() ? 1 : 0;
}

bool wholeTransportStreamPictures(AVFormatContext& format) {
    if (format.iformat == nullptr || std::strcmp(format.iformat->name, "mpegts") != 0) {
        return false;
    }
    // Before the first read, when the parsers would be made.
    format.flags |= AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN;
    return true;
}

LiveInput::LiveInput(AVFormatContext* format, std::unique_ptr<TsPacketInput> packets)
    : format_(format), packets_(std::move(packets)) {}

LiveInput::~LiveInput() {
    // The demuxer first: it reads through the packet input to the end.
    avformat_close_input(&format_);
}

void LiveInput::beforeRead() {
    if (packets_) {
        packets_->rearm();
    }
}

std::string liveOpenError(int averror) {
    if (averror == AVERROR(EADDRINUSE)) {
        return std::string(livePortTaken);
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

std::unique_ptr<LiveInput> openLiveInput(const LiveOpenPlan& plan, LiveInterrupt& interrupt,
                                         std::string* error) {
    silenceFFmpegLogging();
    const auto fail = [error](std::string why) -> std::unique_ptr<LiveInput> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return nullptr;
    };
    if (!plan.refusal.empty()) {
        return fail(plan.refusal);
    }
    if (plan.url.find('\0') != std::string::npos) {
        return fail("the source's name holds a NUL");
    }
    const AVInputFormat* format = nullptr;
    if (!plan.inputFormat.empty()) {
        static std::once_flag devices;
        std::call_once(devices, [] { avdevice_register_all(); });
        format = av_find_input_format(plan.inputFormat.c_str());
        if (format == nullptr) {
            return fail("this FFmpeg cannot read " + plan.inputFormat);
        }
    }
    // A device or an SDP file must be what it says: a FIFO or a folder would
    // stall the reader or mean nothing.
    if (plan.inputFormat == "sdp" || plan.inputFormat == "video4linux2") {
        struct stat info {};
        if (::stat(plan.url.c_str(), &info) != 0) {
            return fail(plan.inputFormat == "sdp" ? "no such SDP file" : "no such device");
        }
        const bool fits = plan.inputFormat == "sdp"
                              ? S_ISREG(info.st_mode)
                              : S_ISCHR(info.st_mode) && major(info.st_rdev) == videoDeviceMajor;
        if (!fits) {
            return fail(plan.inputFormat == "sdp" ? "not a regular file" : "not a capture device");
        }
    }
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        return fail("out of memory");
    }
    context->interrupt_callback.callback = &LiveInterrupt::callback;
    context->interrupt_callback.opaque = &interrupt;
    if (plan.inputFormat == "video4linux2") {
        // A device read without blocking answers "again" between pictures, so
        // an unplugged camera can never hold the reader.
        context->flags |= AVFMT_FLAG_NONBLOCK;
    }
    AVDictionary* dictionary = nullptr;
    for (const auto& [key, value] : plan.options) {
        av_dict_set(&dictionary, key.c_str(), value.c_str(), 0);
    }
    const auto failOpening = [&](const std::string& why) {
        if (interrupt.stopped()) {
            return fail("stopped");
        }
        if (interrupt.timedOut()) {
            return fail("no answer");
        }
        return fail(why);
    };
    std::unique_ptr<TsPacketInput> packets;
    if (plan.packetInput) {
        std::string why;
        packets = TsPacketInput::open(plan.url, &dictionary, interrupt, &why);
        if (!packets) {
            av_dict_free(&dictionary);
            avformat_free_context(context);
            return failOpening(why);
        }
        context->pb = packets->io();
        context->flags |= AVFMT_FLAG_CUSTOM_IO;
        // The protocol took its whitelist; whatever the demuxer opens from
        // what the sender sends (a playlist) stays within it too.
        const std::string whitelist(plan.option("protocol_whitelist"));
        av_dict_set(&dictionary, "protocol_whitelist", whitelist.c_str(), 0);
    }
    // On failure FFmpeg frees the context (not a custom I/O context).
    const int opened = avformat_open_input(&context, plan.url.c_str(), format, &dictionary);
    av_dict_free(&dictionary);
    if (opened < 0) {
        return failOpening(liveOpenError(opened));
    }
    if (packets && wholeTransportStreamPictures(*context)) {
        packets->startPictures();
    }
    return std::make_unique<LiveInput>(context, std::move(packets));
}

} // namespace prismeta
