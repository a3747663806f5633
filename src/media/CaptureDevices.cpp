#include "media/CaptureDevices.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace prismeta {

namespace {

constexpr int maxDevices = 64;
// Bounds on what a driver may list, so a broken one cannot make us spin.
constexpr unsigned maxEntries = 256;

int control(int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

// FFmpeg's names for the V4L2 formats its device reader takes, as its
// input_format option expects them.
std::string formatName(std::uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
        return "yuyv422";
    case V4L2_PIX_FMT_UYVY:
        return "uyvy422";
    case V4L2_PIX_FMT_YUV420:
        return "yuv420p";
    case V4L2_PIX_FMT_NV12:
        return "nv12";
    case V4L2_PIX_FMT_RGB24:
        return "rgb24";
    case V4L2_PIX_FMT_BGR24:
        return "bgr24";
    case V4L2_PIX_FMT_GREY:
        return "gray";
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return "mjpeg";
    case V4L2_PIX_FMT_H264:
        return "h264";
    default:
        break;
    }
    std::string code(4, ' ');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourcc >> (8 * i)) & 0xff);
        code[static_cast<std::size_t>(i)] =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    }
    return code;
}

std::vector<double> rates(int fd, std::uint32_t fourcc, std::uint32_t width, std::uint32_t height) {
    std::vector<double> found;
    for (unsigned i = 0; i < maxEntries; ++i) {
        v4l2_frmivalenum interval{};
        interval.index = i;
        interval.pixel_format = fourcc;
        interval.width = width;
        interval.height = height;
        if (control(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) < 0) {
            break;
        }
        if (interval.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            if (interval.discrete.numerator > 0) {
                found.push_back(static_cast<double>(interval.discrete.denominator) /
                                interval.discrete.numerator);
            }
        } else {
            // A range: its fastest rate stands for it.
            if (interval.stepwise.min.numerator > 0) {
                found.push_back(static_cast<double>(interval.stepwise.min.denominator) /
                                interval.stepwise.min.numerator);
            }
            break;
        }
    }
    return found;
}

std::vector<CaptureMode> modes(int fd, std::uint32_t bufferType) {
    std::vector<CaptureMode> all;
    for (unsigned f = 0; f < maxEntries; ++f) {
        v4l2_fmtdesc format{};
        format.index = f;
        format.type = bufferType;
        if (control(fd, VIDIOC_ENUM_FMT, &format) < 0) {
            break;
        }
        const std::string name = formatName(format.pixelformat);
        for (unsigned s = 0; s < maxEntries; ++s) {
            v4l2_frmsizeenum size{};
            size.index = s;
            size.pixel_format = format.pixelformat;
            if (control(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0) {
                break;
            }
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                all.push_back(
                    {name, static_cast<int>(size.discrete.width),
                     static_cast<int>(size.discrete.height),
                     rates(fd, format.pixelformat, size.discrete.width, size.discrete.height)});
            } else {
                // Any size within a range: its largest stands for it.
                all.push_back({name, static_cast<int>(size.stepwise.max_width),
                               static_cast<int>(size.stepwise.max_height),
                               rates(fd, format.pixelformat, size.stepwise.max_width,
                                     size.stepwise.max_height)});
                break;
            }
        }
    }
    return all;
}

} // namespace

std::vector<CaptureDevice> findCaptureDevices() {
    std::vector<CaptureDevice> devices;
    for (int n = 0; n < maxDevices; ++n) {
        const std::string path = "/dev/video" + std::to_string(n);
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        v4l2_capability capability{};
        if (control(fd, VIDIOC_QUERYCAP, &capability) == 0) {
            const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                                           ? capability.device_caps
                                           : capability.capabilities;
            const bool single = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
            const bool multi = (caps & V4L2_CAP_VIDEO_CAPTURE_MPLANE) != 0;
            if (single || multi) {
                CaptureDevice device;
                device.path = path;
                const auto* card = reinterpret_cast<const char*>(capability.card);
                device.name.assign(card, ::strnlen(card, sizeof capability.card));
                device.modes = modes(fd, single ? V4L2_BUF_TYPE_VIDEO_CAPTURE
                                                : V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE);
                devices.push_back(std::move(device));
            }
        }
        ::close(fd);
    }
    return devices;
}

} // namespace prismeta
