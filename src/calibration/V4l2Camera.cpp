#include "calibration/CameraSource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

namespace prismeta::calibration {

namespace {

using Clock = std::chrono::steady_clock;

// Switches the device's exposure to manual, keeping its present value.
bool lockExposure(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    v4l2_control control{};
    control.id = V4L2_CID_EXPOSURE_AUTO;
    control.value = V4L2_EXPOSURE_MANUAL;
    const bool ok = ::ioctl(fd, VIDIOC_S_CTRL, &control) == 0;
    ::close(fd);
    return ok;
}

struct Deadline {
    Clock::time_point until = Clock::time_point::max();
    const std::atomic<bool>* cancel = nullptr;
};

int interrupted(void* opaque) {
    const auto* d = static_cast<const Deadline*>(opaque);
    return (d->cancel != nullptr && d->cancel->load()) || Clock::now() > d->until ? 1 : 0;
}

class V4l2Camera final : public CameraSource {
public:
    explicit V4l2Camera(V4l2Options options) : options_(std::move(options)) {}
    ~V4l2Camera() override {
        sws_freeContext(scale_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&codec_);
        avformat_close_input(&format_);
    }

    Status open() {
        static std::once_flag registered;
        std::call_once(registered, [] { avdevice_register_all(); });
        const AVInputFormat* input = av_find_input_format("video4linux2");
        if (input == nullptr) {
            return Status::failure("this FFmpeg has no video4linux2 input");
        }
        AVDictionary* dict = nullptr;
        if (options_.width > 0 && options_.height > 0) {
            const std::string size =
                std::to_string(options_.width) + "x" + std::to_string(options_.height);
            av_dict_set(&dict, "video_size", size.c_str(), 0);
        }
        if (options_.framesPerSecond > 0) {
            av_dict_set(&dict, "framerate", std::to_string(options_.framesPerSecond).c_str(), 0);
        }
        format_ = avformat_alloc_context();
        if (format_ == nullptr) {
            av_dict_free(&dict);
            return Status::failure("out of memory");
        }
        deadline_.until = Clock::now() + std::chrono::seconds(10);
        format_->interrupt_callback = {interrupted, &deadline_};
        const int opened = avformat_open_input(&format_, options_.device.c_str(), input, &dict);
        av_dict_free(&dict);
        if (opened < 0) {
            char why[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(opened, why, sizeof why);
            return Status::failure("cannot open the camera " + options_.device + ": " + why);
        }
        if (avformat_find_stream_info(format_, nullptr) < 0) {
            return Status::failure("the camera " + options_.device + " sends no picture");
        }
        stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (stream_ < 0) {
            return Status::failure("the camera " + options_.device + " has no video stream");
        }
        const AVCodecParameters* parameters = format_->streams[stream_]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
        codec_ = avcodec_alloc_context3(decoder);
        if (decoder == nullptr || codec_ == nullptr ||
            avcodec_parameters_to_context(codec_, parameters) < 0 ||
            avcodec_open2(codec_, decoder, nullptr) < 0) {
            return Status::failure("the camera's pictures cannot be decoded");
        }
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (frame_ == nullptr || packet_ == nullptr) {
            return Status::failure("out of memory");
        }
        exposureLocked_ = lockExposure(options_.device);
        return Status::success();
    }

    Result<GreyImage> capture(const std::string&, const std::atomic<bool>& cancel) override {
        const Clock::time_point asked = Clock::now();
        deadline_.until = asked + options_.latency + options_.settleLimit;
        deadline_.cancel = &cancel;
        std::optional<GreyImage> previous;
        for (;;) {
            auto frame = nextFrame();
            if (!frame) {
                if (cancel.load()) {
                    return Result<GreyImage>::failure("cancelled");
                }
                if (Clock::now() > deadline_.until) {
                    return Result<GreyImage>::failure(
                        "the camera's picture did not settle within " +
                        std::to_string(options_.settleLimit.count()) + " ms");
                }
                return Result<GreyImage>::failure(frame.error());
            }
            if (Clock::now() < asked + options_.latency) {
                continue; // exposed before the pattern was on screen
            }
            if (previous && previous->width == frame->width && previous->height == frame->height &&
                meanDifference(*previous, frame.value()) <= options_.settledDifference) {
                return frame;
            }
            previous = std::move(frame.value());
        }
    }

    std::string description() const override {
        std::string text = "V4L2 ";
        text += options_.device;
        if (codec_ != nullptr) {
            text += ' ';
            text += std::to_string(codec_->width);
            text += 'x';
            text += std::to_string(codec_->height);
        }
        if (options_.framesPerSecond > 0) {
            text += " at ";
            text += std::to_string(options_.framesPerSecond);
            text += " fps";
        }
        text += exposureLocked_ ? ", exposure locked" : ", exposure as the driver sets it";
        return text;
    }

private:
    static double meanDifference(const GreyImage& a, const GreyImage& b) {
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < a.pixels.size(); ++i) {
            sum += std::abs(int{a.pixels[i]} - int{b.pixels[i]});
        }
        return a.pixels.empty() ? 0.0
                                : static_cast<double>(sum) / static_cast<double>(a.pixels.size());
    }

    Result<GreyImage> nextFrame() {
        for (;;) {
            const int received = avcodec_receive_frame(codec_, frame_);
            if (received == 0) {
                return toGrey();
            }
            if (received != AVERROR(EAGAIN)) {
                return Result<GreyImage>::failure("the camera's picture cannot be decoded");
            }
            const int read = av_read_frame(format_, packet_);
            if (read < 0) {
                return Result<GreyImage>::failure("the camera stopped sending pictures");
            }
            if (packet_->stream_index == stream_) {
                avcodec_send_packet(codec_, packet_);
            }
            av_packet_unref(packet_);
        }
    }

    Result<GreyImage> toGrey() {
        GreyImage out(frame_->width, frame_->height);
        scale_ = sws_getCachedContext(
            scale_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
            frame_->width, frame_->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
        if (scale_ == nullptr) {
            return Result<GreyImage>::failure("the camera's pixel format cannot be converted");
        }
        std::uint8_t* planes[4] = {out.pixels.data(), nullptr, nullptr, nullptr};
        int lines[4] = {out.width, 0, 0, 0};
        sws_scale(scale_, frame_->data, frame_->linesize, 0, frame_->height, planes, lines);
        av_frame_unref(frame_);
        return out;
    }

    V4l2Options options_;
    Deadline deadline_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scale_ = nullptr;
    int stream_ = -1;
    bool exposureLocked_ = false;
};

} // namespace

Result<std::unique_ptr<CameraSource>> openV4l2Camera(const V4l2Options& options) {
    using Outcome = Result<std::unique_ptr<CameraSource>>;
    if ((options.width > 0) != (options.height > 0) || options.width < 0 || options.height < 0 ||
        options.width > 16384 || options.height > 16384 || options.framesPerSecond < 0 ||
        options.framesPerSecond > 1000) {
        return Outcome::failure("the camera's size must be two whole numbers up to 16384, and its "
                                "frame rate 1 to 1000");
    }
    if (options.device.empty()) {
        return Outcome::failure("no camera device named");
    }
    auto camera = std::make_unique<V4l2Camera>(options);
    if (const Status opened = camera->open(); !opened) {
        return Outcome::failure(opened.error);
    }
    return Outcome(std::unique_ptr<CameraSource>(std::move(camera)));
}

} // namespace prismeta::calibration
