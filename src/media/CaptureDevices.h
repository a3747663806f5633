#pragma once

#include <string>
#include <vector>

namespace prismeta {

// One picture size a capture device offers in one format, with its frame
// rates (frames a second; empty when the device does not list them).
struct CaptureMode {
    std::string format; // FFmpeg's name for it ("yuyv422", "mjpeg"), as liveOptions takes it
    int width = 0;
    int height = 0;
    std::vector<double> rates;
};

// A V4L2 video capture device on this machine.
struct CaptureDevice {
    std::string path; // "/dev/video0"
    std::string name; // what the driver calls it ("HD Pro Webcam C920")
    std::vector<CaptureMode> modes;
};

// The video capture devices under /dev (video0 to video63), each with the
// formats, sizes and rates it lists; devices that only output or only give
// metadata are left out. Opens each device briefly: off the interface
// thread when it matters. Empty where there are none.
std::vector<CaptureDevice> findCaptureDevices();

} // namespace prismeta
