// prismeta-cli render: one frame of a project, drawn headless by the same
// renderer as the windows, written as an 8-bit RGBA PNG.
#include "CliCommand.h"
#include "OutputArguments.h"

#include "core/FileIO.h"
#include "core/LiveSource.h"
#include "core/ProjectMedia.h"
#include "core/ProjectModel.h"
#include "core/Uuid.h"
#include "cues/CueEditing.h"
#include "cues/CueRunner.h"
#include "cues/Schedule.h"
#include "geometry/UnwarpedPlacement.h"
#include "media/FFmpegLog.h"
#include "media/LiveOpen.h"
#include "render/FFmpegMediaBackend.h"
#include "render/HeadlessContext.h"
#include "render/OffscreenFramebuffer.h"
#include "render/Renderer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace prismeta::cli {

namespace {

struct RenderArgs {
    std::string project;
    std::string out;
    std::optional<std::string> outputSelector;
    std::optional<std::pair<int, int>> size;
    std::string sizeText;
    double time = 0.0;
    bool haveTime = false;
    // Cues gone to in order (number, name or id), the seconds after the last
    // GO at which the frame is drawn, and a local time whose scheduled cue
    // the show starts at.
    std::vector<std::string> cues;
    std::optional<double> after;
    std::optional<std::int64_t> at;
    // How long live sources may take to give their first picture.
    std::optional<double> liveWait;
};

constexpr double defaultLiveWait = 5.0;
// A wait longer than this is a mistake, not a show.
constexpr double maxLiveWait = 3600.0;

int usageError(const char* why) {
    std::fprintf(stderr, "prismeta-cli: %s\n", why);
    printUsage(true);
    return exitUsage;
}

// Seconds, 0 or more, as a plain decimal number.
std::optional<double> parseTime(std::string_view text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value) || value < 0.0) {
        return std::nullopt;
    }
    return value;
}

// Parses the arguments; on a mistake returns the reason.
std::optional<std::string> parse(std::span<const std::string_view> args, RenderArgs& parsed) {
    bool haveProject = false;
    bool haveOut = false;
    bool haveTime = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool takesValue = arg == "-o" || arg == "--output" || arg == "--size" ||
                                arg == "--time" || arg == "--cue" || arg == "--after" ||
                                arg == "--at" || arg == "--live-wait";
        if (takesValue && i + 1 >= args.size()) {
            return std::string(arg) + " needs a value";
        }
        if (arg == "-o") {
            if (haveOut) {
                return std::string("-o given twice");
            }
            haveOut = true;
            parsed.out = std::string(args[++i]);
            if (parsed.out.empty()) {
                return std::string("-o needs a file name");
            }
        } else if (arg == "--output") {
            if (parsed.outputSelector) {
                return std::string("--output given twice");
            }
            parsed.outputSelector = std::string(args[++i]);
        } else if (arg == "--size") {
            if (parsed.size) {
                return std::string("--size given twice");
            }
            parsed.sizeText = std::string(args[++i]);
            parsed.size = parseSize(parsed.sizeText);
            if (!parsed.size) {
                return std::string("--size must be two positive whole numbers like 1920x1080");
            }
        } else if (arg == "--time") {
            if (haveTime) {
                return std::string("--time given twice");
            }
            haveTime = true;
            const auto time = parseTime(args[++i]);
            if (!time) {
                return std::string("--time must be a number of seconds, 0 or more");
            }
            parsed.time = *time;
            parsed.haveTime = true;
        } else if (arg == "--cue") {
            parsed.cues.emplace_back(args[++i]);
        } else if (arg == "--after") {
            if (parsed.after) {
                return std::string("--after given twice");
            }
            parsed.after = parseTime(args[++i]);
            if (!parsed.after) {
                return std::string("--after must be a number of seconds, 0 or more");
            }
        } else if (arg == "--at") {
            if (parsed.at) {
                return std::string("--at given twice");
            }
            parsed.at = parseLocalDateTime(args[++i]);
            if (!parsed.at) {
                return std::string("--at must be a local time like 2026-12-24T18:30");
            }
        } else if (arg == "--live-wait") {
            if (parsed.liveWait) {
                return std::string("--live-wait given twice");
            }
            parsed.liveWait = parseTime(args[++i]);
            if (!parsed.liveWait || *parsed.liveWait > maxLiveWait) {
                return std::string("--live-wait must be a number of seconds, 0 to 3600");
            }
        } else if (!arg.empty() && arg.front() != '-' && !haveProject) {
            haveProject = true;
            parsed.project = std::string(arg);
        } else {
            return "unexpected argument '" + std::string(arg) + "'";
        }
    }
    if (!haveProject) {
        return std::string("render needs a project file");
    }
    if (!haveOut) {
        return std::string("render needs -o OUT.png");
    }
    if (parsed.after && parsed.cues.empty()) {
        return std::string("--after needs --cue");
    }
    if (parsed.after && parsed.haveTime) {
        return std::string("--after and --time both give the frame's time; give one");
    }
    return std::nullopt;
}

// "2.5 s": seconds as given, in the shortest form that reads back the same.
std::string secondsText(double seconds) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, seconds);
    return (ec == std::errc() ? std::string(text, end) : std::string("?")) + " s";
}

// Goes to the cues asked for, as a show would: --at starts the show at the
// cue its schedule puts in force then, and each --cue goes in order, every
// one before the last long done, the last one GO at show time 0. Returns the
// frame's time (seconds after that GO), or the selector no cue matches.
// The videos the cues started, by surface, at their GO's show time: those
// the last GO started are shown at the frame's time, once-playing ones an
// earlier GO started long done (their last picture).
class StartedVideos final : public CueVideos {
public:
    void start(const Surface& surface, double showTime) override { starts[surface.id] = showTime; }
    Length length(const std::string&) const override { return {}; }
    std::unordered_map<Uuid, double> starts;
};

struct CueOutcome {
    std::shared_ptr<const Crossfade> crossfade;
    std::shared_ptr<const StartedVideos> videos;
    std::optional<std::string> unknown;
};

// How long before the last GO the earlier ones went.
constexpr double longBefore = -1e9;

CueOutcome goToCues(ProjectModel& model, RenderArgs& parsed) {
    CueOutcome outcome;
    std::vector<std::size_t> indexes;
    for (const std::string& selector : parsed.cues) {
        const std::optional<std::size_t> index = findCue(model.cues(), selector);
        if (!index) {
            outcome.unknown = selector;
            return outcome;
        }
        indexes.push_back(*index);
    }
    if (!parsed.at && indexes.empty()) {
        return outcome;
    }
    ManualShowClock showClock;
    ManualWallClock wallClock;
    showClock.seconds = longBefore;
    wallClock.seconds = parsed.at.value_or(0);
    CueRunner runner(model, showClock, wallClock);
    auto videos = std::make_shared<StartedVideos>();
    runner.setVideos(videos);
    if (parsed.at) {
        runner.start();
    }
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const bool last = i + 1 == indexes.size();
        if (last) {
            showClock.seconds = 0.0;
        }
        if (runner.nextIndex() == indexes[i]) {
            runner.go();
        } else {
            runner.goTo(indexes[i]);
        }
        if (last) {
            const double fade = model.cues()[indexes[i]].fade;
            if (!parsed.haveTime) {
                parsed.time = parsed.after.value_or(fade);
            }
        }
    }
    outcome.crossfade = runner.crossfade();
    outcome.videos = std::move(videos);
    return outcome;
}

// Rounded to the nearest whole pixel; none when not a number or far out of range.
std::optional<long long> pixels(double extent) {
    if (!std::isfinite(extent) || std::fabs(extent) > 1e9) {
        return std::nullopt;
    }
    return std::llround(extent);
}

// The PNG bytes of width x height RGBA pixels (row 0 at the top), through
// FFmpeg's PNG encoder.
std::optional<std::string> encodePng(const std::vector<std::uint8_t>& rgba, int width, int height) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr) {
        return std::nullopt;
    }
    struct Context {
        AVCodecContext* p;
        ~Context() { avcodec_free_context(&p); }
    } context{avcodec_alloc_context3(codec)};
    struct Frame {
        AVFrame* p;
        ~Frame() { av_frame_free(&p); }
    } frame{av_frame_alloc()};
    struct Packet {
        AVPacket* p;
        ~Packet() { av_packet_free(&p); }
    } packet{av_packet_alloc()};
    if (context.p == nullptr || frame.p == nullptr || packet.p == nullptr) {
        return std::nullopt;
    }
    context.p->width = width;
    context.p->height = height;
    context.p->pix_fmt = AV_PIX_FMT_RGBA;
    context.p->time_base = AVRational{1, 1};
    if (avcodec_open2(context.p, codec, nullptr) < 0) {
        return std::nullopt;
    }
    frame.p->format = AV_PIX_FMT_RGBA;
    frame.p->width = width;
    frame.p->height = height;
    // Borrowed pixels: the encoder reads them during send_frame only.
    frame.p->data[0] = const_cast<std::uint8_t*>(rgba.data());
    frame.p->linesize[0] = width * 4;
    if (avcodec_send_frame(context.p, frame.p) < 0 || avcodec_send_frame(context.p, nullptr) < 0 ||
        avcodec_receive_packet(context.p, packet.p) < 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(packet.p->data),
                       static_cast<std::size_t>(packet.p->size));
}

// One line for each file at fault (missing or not decodable), once per path,
// and for each live source that gave no picture in the time waited (drawn as
// the placeholder, as a still that gives none). Returns the failure when a
// video has no picture: the line for the sound videos that have none at the
// time, or else the first faulty video's line; or when a live source cannot
// listen because another program holds its port (no wait would help).
std::optional<std::string> reportMissingPictures(const std::vector<NoPicture>& files, double time,
                                                 double liveWait) {
    std::vector<std::string> reported;
    std::vector<std::string> soundVideos;
    std::optional<std::string> videoFailure;
    for (const NoPicture& file : files) {
        if (std::find(reported.begin(), reported.end(), file.path) != reported.end()) {
            continue;
        }
        reported.push_back(file.path);
        if (file.live && file.portTaken) {
            std::string line = "the live source " + displayedLiveSource(file.path) +
                               " cannot listen: " + std::string(livePortTaken);
            if (videoFailure) {
                std::fprintf(stderr, "prismeta-cli: %s\n", line.c_str());
            } else {
                videoFailure = std::move(line);
            }
            continue;
        }
        if (file.live) {
            std::fprintf(stderr,
                         "prismeta-cli: no picture from the live source %s in %s; its surface "
                         "shows the placeholder\n",
                         displayedLiveSource(file.path).c_str(), secondsText(liveWait).c_str());
            continue;
        }
        if (!file.problem) {
            if (file.video) {
                soundVideos.push_back(file.path);
            } else {
                std::fprintf(stderr, "prismeta-cli: no picture of the image %s\n",
                             file.path.c_str());
            }
            continue;
        }
        std::string line =
            file.problem->kind == MediaProblem::Kind::notFound
                ? "media not found: " + file.path
                : "media cannot be decoded: " + file.path + ": " + file.problem->reason;
        if (file.video && !videoFailure) {
            videoFailure = std::move(line);
        } else {
            std::fprintf(stderr, "prismeta-cli: %s\n", line.c_str());
        }
    }
    if (!soundVideos.empty()) {
        // The failure line names the rest.
        if (videoFailure) {
            std::fprintf(stderr, "prismeta-cli: %s\n", videoFailure->c_str());
        }
        std::string why =
            "no picture of the video " + soundVideos.front() + " at " + secondsText(time);
        if (soundVideos.size() > 1) {
            why += " (nor of " + std::to_string(soundVideos.size() - 1) + " more)";
        }
        return why;
    }
    return videoFailure;
}

} // namespace

int runRender(std::span<const std::string_view> args) {
    // Media failures are silent; standard error carries only our own lines.
    silenceFFmpegLogging();
    RenderArgs parsed;
    if (const auto mistake = parse(args, parsed)) {
        return usageError(mistake->c_str());
    }

    ProjectModel model;
    if (!model.load(parsed.project)) {
        return exitFailure; // the load line is already on standard error
    }

    const CueOutcome cues = goToCues(model, parsed);
    if (cues.unknown) {
        return failure("no cue matches '" + *cues.unknown + "'");
    }

    std::optional<OutputConfig> output;
    if (parsed.outputSelector) {
        if (const auto index = selectOutput(model.outputs(), *parsed.outputSelector)) {
            output = model.outputs()[*index];
        }
        if (!output) {
            return failure("no output matches '" + *parsed.outputSelector + "'");
        }
    }

    auto context = HeadlessContext::create();
    if (!context) {
        return failure(context.error());
    }
    const int limit = OffscreenFramebuffer::maxSize();

    int width = 0;
    int height = 0;
    // Where an unwarped output's picture lies on a raster from the file: as
    // its window letterboxes it (the placement the warp editor starts from).
    std::optional<RasterRect> placed;
    if (parsed.size) {
        std::tie(width, height) = *parsed.size;
        if (width > limit || height > limit) {
            return failure("--size " + parsed.sizeText + " is beyond this OpenGL's limit of " +
                           std::to_string(limit) + " pixels a side");
        }
    } else if (output && isUsable(output->display)) {
        // The projector's raster: the size of the screen its window fills,
        // as calibration-patterns takes it.
        width = output->display->geometry.width;
        height = output->display->geometry.height;
        if (width > limit || height > limit) {
            return failure("the display of " + output->name + " is " + std::to_string(width) + "x" +
                           std::to_string(height) + " pixels, beyond this OpenGL's limit of " +
                           std::to_string(limit) + " a side; give a size with --size WxH");
        }
        if (!output->warp) {
            const CanvasSize canvas = model.canvasSize();
            placed = unwarpedRect(canvas.width * static_cast<double>(output->cropWidth),
                                  canvas.height * static_cast<double>(output->cropHeight), width,
                                  height);
        }
    } else if (output && output->warp) {
        // Its warp is in a raster's 0..1 coordinates, and no file says which.
        return usageError((output->name + " has a warp but no screen, so its raster's size is "
                                          "not known: give --size WxH")
                              .c_str());
    } else {
        const CanvasSize canvas = model.canvasSize();
        const auto w = pixels(output ? output->cropWidth * canvas.width : canvas.width);
        const auto h = pixels(output ? output->cropHeight * canvas.height : canvas.height);
        const char* what = output ? "the output's crop" : "the canvas";
        if (!w || !h || *w < 1 || *h < 1 || *w > limit || *h > limit) {
            const std::string shown = w && h ? std::to_string(*w) + "x" + std::to_string(*h)
                                             : std::string("not a number of");
            return failure(std::string(what) + " is " + shown + " pixels, outside 1 to " +
                           std::to_string(limit) + " a side; give a size with --size WxH");
        }
        width = static_cast<int>(*w);
        height = static_cast<int>(*h);
    }

    // Stills decoded and every video decoded to the picture due at --time
    // before the frame is drawn: the same project and time give the same PNG.
    // A video without a picture then would leave the placeholder in the frame
    // asked for: that is a failure, not a render. A still without one is
    // drawn as the placeholder, as in the windows, and said.
    std::vector<NoPicture> withoutPicture;
    // Live sources show their first picture, waited for up to --live-wait.
    const double liveWait = parsed.liveWait.value_or(defaultLiveWait);
    const auto videoTime = [&parsed, videos = cues.videos](const MediaRequest& request) {
        if (videos && request.once) {
            const auto started = videos->starts.find(request.surface);
            if (started != videos->starts.end() && started->second == longBefore) {
                return parsed.time - longBefore; // long done: its last picture
            }
        }
        return parsed.time;
    };
    auto renderer = Renderer::create(
        model, output,
        mediaBackendAt(
            parsed.time, [&](const NoPicture& file) { withoutPicture.push_back(file); }, videoTime,
            liveWait));
    if (!renderer) {
        return failure("the renderer could not be created");
    }
    // Media that moved along with the project are shown from where they lie
    // now, as in the windows.
    renderer->setMediaLocations(std::make_shared<const MediaLocations>(
        locateMovedMedia(mediaInUse(model.surfaces().vector(), model.outputs(), std::nullopt),
                         projectFolder(model.documentURL()))));
    renderer->setCrossfade(cues.crossfade);
    auto target = OffscreenFramebuffer::create(width, height);
    if (!target) {
        return failure("no " + std::to_string(width) + "x" + std::to_string(height) +
                       " framebuffer could be made");
    }
    // Every mask's coverage is in before the frame is drawn.
    renderer->setWaitForMasks(true);
    FrameTarget frame = target->target();
    if (placed && !placed->empty()) {
        // GL's rows count from the bottom.
        frame.x = placed->x;
        frame.y = height - placed->y - placed->height;
        frame.width = placed->width;
        frame.height = placed->height;
    }
    renderer->draw(frame, parsed.time);
    if (const std::optional<std::string> why =
            reportMissingPictures(withoutPicture, parsed.time, liveWait)) {
        return failure(*why);
    }
    std::vector<std::uint8_t> rgba = target->readPixels();
    // Every frame starts opaque and "over" keeps it so; make sure of it.
    for (std::size_t i = 3; i < rgba.size(); i += 4) {
        rgba[i] = 255;
    }
    if (placed) {
        // The bars beside a letterboxed picture, which the frame leaves
        // untouched, are black (all of it for a placement too small to draw).
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (x >= placed->x && x < placed->x + placed->width && y >= placed->y &&
                    y < placed->y + placed->height) {
                    continue;
                }
                const std::size_t i =
                    (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)) *
                    4;
                rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
            }
        }
    }
    renderer.reset();
    target.reset();

    const auto png = encodePng(rgba, width, height);
    if (!png) {
        return failure("the PNG encoder failed");
    }
    if (const Status written = writeFileAtomically(parsed.out, *png); !written) {
        return failure("cannot write " + parsed.out + ": " + written.error);
    }
    return exitOk;
}

} // namespace prismeta::cli
