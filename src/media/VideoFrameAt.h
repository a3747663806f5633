#pragma once

#include "media/PixelImage.h"
#include "media/VideoOptions.h"

#include <optional>
#include <string>

namespace prismeta {

// The picture of the video at path that is due `seconds` after playback
// starts, decoded and converted to BGRA, for deterministic renders (the
// command-line tool's --time). With L the loop length (last pts plus that
// picture's duration, minus the first pts), it is the picture with the largest
// (pts - first pts) not above seconds modulo L; negative seconds count as 0.
// The same picture a VideoPlayer shows at that media time. Blocking: seeks
// near the picture and decodes up to it. None, silently, if the file cannot be
// played. Any thread.
std::optional<PixelImage> decodeVideoFrameAt(const std::string& path, double seconds,
                                             const VideoOptions& options = {});

} // namespace prismeta
