#pragma once

#include <optional>
#include <string>

namespace prismeta {

// Why a media file gives no picture, for the one log line that names it: it
// is not there, or it is there and cannot be decoded, with the reason in
// FFmpeg's (or the system's) own words.
struct MediaProblem {
    enum class Kind { notFound, cannotDecode };
    Kind kind = Kind::notFound;
    std::string reason; // cannotDecode only: "Invalid data found when processing input"

    // "not found", "cannot be decoded: <reason>".
    std::string text() const;
};

// Looks again at a file whose decode gave nothing: whether it exists, is a
// readable regular file, opens as media with a stream of pictures (a video
// stream when video is set) and a decoder, and yields its first picture,
// decoded as it is shown (a still as strictly, within the same limits).
// None when all of that works: the file is sound, and the trouble lies
// elsewhere (a picture or a still's file beyond the size limits, which is
// then not decoded or read, a time the video has no picture at). Blocking
// (it decodes up to the first picture); any thread.
std::optional<MediaProblem> diagnoseMediaFile(const std::string& path, bool video);

} // namespace prismeta
