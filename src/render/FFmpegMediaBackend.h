#pragma once

#include "media/MediaProblem.h"
#include "render/MediaBackend.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace prismeta {

// The media backend of the windows: stills decode on the media library's
// loader threads (ImageLoad) and show once ready; each video source plays its
// own decoder thread (VideoPlayer) on the clock that every renderer's source
// of the same surface and signature shares (PlaybackClock), so the editor and
// the output windows show the same picture at the same host time. Every
// window showing one live source shares its one reader (LiveSources) and
// shows its newest picture.
struct LiveMediaOptions {
    // Every poll first waits (patience at most) until the decoders have
    // settled what is due: frames become a function of the host times drawn,
    // whatever the machine's speed (a live source: until its first picture).
    // For tests and measurements only; a window must never wait on a decoder.
    bool waitForDecoders = false;
    std::chrono::milliseconds patience{10'000};
    MediaBackend::Upload videoUpload = MediaBackend::Upload::direct;
};
MediaBackend liveMediaBackend(const LiveMediaOptions& options = {});

// A file that gave no picture (its surface shows the placeholder), and why
// when the file itself is at fault: missing, or not decodable. A sound video
// with no picture at the time asked for has no problem.
struct NoPicture {
    std::string path;
    bool video = false;
    std::optional<MediaProblem> problem;
    // A live source that gave no picture in the time waited for one.
    bool live = false;
    // ... because another program holds the port it listens on.
    bool portTaken = false;
};

// The media backend of single deterministic frames (prismeta-cli render
// --time): every still decoded and every video decoded to the picture due
// `seconds` after its playback starts (modulo the loop length) while the
// source is made, so the first frame drawn already shows them. Blocks the
// render thread for as long as that takes. A file that yields no picture is
// reported to noPicture, when given, on the render thread. A video played
// once shows its last picture past its end. secondsOf, when given, picks
// each video's time instead of `seconds` (videos started at different
// moments of a show). A live source shows its first picture, waited for up
// to liveWaitSeconds after the first live source was opened; one without a
// picture by then is reported (NoPicture::live) and shows the placeholder.
MediaBackend mediaBackendAt(double seconds,
                            std::function<void(const NoPicture& file)> noPicture = {},
                            std::function<double(const MediaRequest&)> secondsOf = {},
                            double liveWaitSeconds = 5.0);

} // namespace prismeta
