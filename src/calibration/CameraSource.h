#pragma once

#include "calibration/CalibrationTypes.h"
#include "core/Result.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace prismeta::calibration {

// Where the camera's pictures come from. capture() is called once per
// pattern, after the pattern is on screen, and blocks until the picture is
// taken (or fails, or cancel is raised). One call at a time, from any one
// thread.
class CameraSource {
public:
    virtual ~CameraSource() = default;
    // `patternName` names the pattern ("out2-07-col-b08-inv.png"): the file a
    // folder of pictures holds for it.
    virtual Result<GreyImage> capture(const std::string& patternName,
                                      const std::atomic<bool>& cancel) = 0;
    // "V4L2 /dev/video0 1280x720 at 30 fps", for the log and the dialog.
    virtual std::string description() const = 0;
};

// Pictures captured by any means, in a folder under the patterns' file names.
std::unique_ptr<CameraSource> makeFolderCamera(std::string folder);

// The pictures `names` of another source as one, whatever name is asked for:
// the brightest of them at every pixel (a folder's outputs' white pictures
// lit together, so the operator sees whether the whole canvas lies inside
// what the projectors light). Fails when one fails or their sizes differ.
std::unique_ptr<CameraSource> makeLitTogetherCamera(std::unique_ptr<CameraSource> source,
                                                    std::vector<std::string> names);

// A still camera driven by a command the operator configures, run through
// the shell once per pattern with every %f replaced by the (quoted) path of
// the file it must write, %% by %. The path ends in .png, unless the command
// writes an extension straight after %f ("%f.jpg"), which is kept; the file is
// read by its content whatever its name. For example
//   gphoto2 --capture-image-and-download --force-overwrite --filename %f.jpg
//   import -window root %f
//   ffmpeg -loglevel error -f v4l2 -i /dev/video0 -frames:v 1 -y %f
// The command must finish within `timeout`; its exit status and the last
// line it printed say why it failed, and a file it wrote that cannot be read
// is named by what it holds ("MIFF image data: not a picture format ...").
std::unique_ptr<CameraSource>
makeCommandCamera(std::string command,
                  std::chrono::milliseconds timeout = std::chrono::seconds(60));

struct V4l2Options {
    std::string device = "/dev/video0";
    int width = 0; // 0: the device's own choice
    int height = 0;
    int framesPerSecond = 0;
    // Frames arriving sooner than this after capture() is called were
    // exposed before the pattern was shown: they are dropped.
    std::chrono::milliseconds latency{150};
    // The picture has settled when two frames in a row differ by at most
    // this many levels on average; waited for at most `settleLimit`.
    double settledDifference = 2.0;
    std::chrono::milliseconds settleLimit{5000};
};

// A V4L2 camera through FFmpeg's device layer. Where the driver allows it,
// its exposure is switched to manual (keeping the present value) so that it
// stays fixed for the whole run.
Result<std::unique_ptr<CameraSource>> openV4l2Camera(const V4l2Options& options);

} // namespace prismeta::calibration
