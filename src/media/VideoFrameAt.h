#pragma once

#include "media/PixelImage.h"
#include "media/VideoFrame.h"
#include "media/VideoOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace prismeta {

// The picture of the video at path that is due `seconds` after playback
// starts, decoded and converted to BGRA, for deterministic renders (the
// command-line tool's --time). With L the loop length (last pts plus that
// picture's duration, minus the first pts), it is the picture with the largest
// (pts - first pts) not above seconds modulo L (or, for a video played once,
// not above seconds: past the end, the last picture); negative seconds count
// as 0.
// The same picture a VideoPlayer shows at that media time. Blocking: seeks
// near the picture and decodes up to it. None, silently, if the file cannot be
// played. Any thread.
std::optional<PixelImage> decodeVideoFrameAt(const std::string& path, double seconds,
                                             const VideoOptions& options = {});

// A compressed video picture held by value: a HAP picture's blocks and, for
// a scaled-YCoCg one with an alpha image, that image's BC4 blocks.
struct BlockPicture {
    PictureFormat format = PictureFormat::bc1;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> blocks;
    std::vector<std::uint8_t> alpha;
};

// As decodeVideoFrameAt, but a HAP video whose blocks options.blockTextures
// covers comes as its blocks, undecoded (a malformed picture then gives
// none). route, when given, learns which way the pictures came.
std::optional<std::variant<PixelImage, BlockPicture>>
decodeVideoPictureAt(const std::string& path, double seconds, const VideoOptions& options = {},
                     PictureRoute* route = nullptr);

} // namespace prismeta
