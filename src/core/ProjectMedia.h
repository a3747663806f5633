#pragma once

#include "core/MediaLocations.h"
#include "core/OutputConfig.h"
#include "core/Surface.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// The media files a project uses, and whether each is where the project says.

// One media file and what uses it.
struct MediaUse {
    std::string path;                  // as the project stores it
    std::vector<std::size_t> surfaces; // positions of the surfaces showing it
    bool reference = false;            // the editor's reference picture
    std::vector<std::size_t> outputs;  // positions of the outputs with it as blend map
};

// Every distinct media path in use, in order of first use: the image, video
// and shader surfaces in list order, then the reference picture. Surfaces of the
// other kinds keep a path without showing it, and an empty path names no
// file; neither counts.
std::vector<MediaUse> mediaInUse(std::span<const Surface> surfaces,
                                 const std::optional<std::string>& referencePath);
// The same with the outputs' blend maps, after the surfaces' files.
std::vector<MediaUse> mediaInUse(std::span<const Surface> surfaces,
                                 std::span<const OutputConfig> outputs,
                                 const std::optional<std::string>& referencePath);

// The folder moved media are looked for in: the project file's own (made
// absolute against the working folder). None for a project never saved.
std::optional<std::filesystem::path>
projectFolder(const std::optional<std::filesystem::path>& documentURL);

// Where one media file is now.
struct MediaCheck {
    enum class State {
        present,   // at its stored path
        relocated, // missing there, found under the project's folder
        missing,   // found nowhere
    };
    State state = State::present;
    std::optional<std::filesystem::path> found; // relocated only
};

// Looks at the stored path and, when nothing is there, under folder (see
// findUnderFolder). A handful of file-system lookups: off the interface
// thread.
MediaCheck checkMedia(std::string_view storedPath,
                      const std::optional<std::filesystem::path>& folder);

// checkMedia for every file in use, gathering where the moved ones were
// found. Blocks for all the lookups: for tools and worker threads.
MediaLocations locateMovedMedia(const std::vector<MediaUse>& uses,
                                const std::optional<std::filesystem::path>& folder);

} // namespace prismeta
