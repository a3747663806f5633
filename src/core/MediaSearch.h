#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

// Finding media files that are no longer where a project says. Projects store
// absolute paths, so a project copied to another machine or folder together
// with its media names files that are not there; the same file is looked for
// by the trailing components of its stored path under a folder (the
// project's own, or one the user names).
//
// Plain functions over the file system, callable from any thread. Callers run
// them off the interface thread: on a network file system a probe can take
// its time.

// A stored path longer than this is no path a user saved: nothing is looked
// for. Of a deeper path only the last maxTrailingComponents are tried, which
// bounds the lookups one missing file costs.
inline constexpr std::size_t maxStoredPathBytes = 4096;
inline constexpr std::size_t maxTrailingComponents = 64;

// The components of a stored path that may be tried under a folder, in
// order, the file name last: "/shows/tour/media/intro.mov" gives "shows",
// "tour", "media", "intro.mov"; a relative path the same. "." components are
// dropped and nothing up to and including the last ".." is kept, so no
// candidate leads out of the folder. A path written on a system that
// separates with backslashes (a drive "C:\..." or a share "\\server\...") is
// split at them and loses its drive. Empty when the path names no file: empty
// text, a trailing separator, a last component "." or "..", a NUL byte, or
// more than maxStoredPathBytes.
std::vector<std::string> storedPathComponents(std::string_view storedPath);

// The candidates under folder, longest first: folder/shows/tour/media/intro.mov,
// folder/tour/media/intro.mov, folder/media/intro.mov, folder/intro.mov.
std::vector<std::filesystem::path> relinkCandidates(std::string_view storedPath,
                                                    const std::filesystem::path& folder);

// Whether nothing is at path: looking it up fails because it, or a folder on
// the way, does not exist. A file that is there but cannot be read, or a
// folder where a file was expected, is not missing: it has not moved.
bool isMissing(const std::filesystem::path& path);

// The first of relinkCandidates that is a regular file (links followed);
// none when no candidate is. At most one lookup per candidate.
std::optional<std::filesystem::path> findUnderFolder(std::string_view storedPath,
                                                     const std::filesystem::path& folder);

// The best file a search of a folder tree found for one stored path.
struct FolderMatch {
    std::filesystem::path file;
    // How many trailing components of the stored path the file's path (below
    // the searched folder) ends in; the file name counts as one.
    std::size_t matchedComponents = 0;
    // Other files that matched as many components.
    std::size_t ties = 0;
};

struct FolderSearchLimits {
    std::size_t maxDepth = 24;          // folders below the searched one
    std::size_t maxEntries = 1'000'000; // entries looked at in all
};

// Looks through folder and every folder below it for the files of the stored
// paths, in one walk. A file is a candidate for a stored path when its name is
// the path's file name (exactly; letter case counts). The candidate whose path
// ends in the most trailing components of the stored path wins; among
// equals, the one fewer folders below `folder`, then the smaller path in byte
// order, so the answer does not depend on the order the file system lists
// entries. One result per stored path, none where nothing matched. Links to
// folders are not followed (no cycles) and unreadable folders are skipped.
// When cancel becomes true or a limit is reached the walk stops and the
// results so far are returned.
std::vector<std::optional<FolderMatch>>
searchFolderTree(const std::filesystem::path& folder, const std::vector<std::string>& storedPaths,
                 const std::atomic<bool>* cancel = nullptr, const FolderSearchLimits& limits = {});

} // namespace prismeta
