#pragma once

#include "core/FileCopy.h"
#include "core/ProjectFile.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// "Collect Project…": a copy of the project and of every media file it uses,
// gathered in one folder so that it can be moved or archived as a whole. The
// media go to the folder's "media" subfolder and the copy of the project
// names them there by absolute path, which every reader of project files
// understands; once the folder is moved, relinking finds them again by their
// trailing components ("media/intro.mov") under the project's new folder. The
// original project and its files are never changed.
//
// A shader goes into a folder of its own under "media" (media/plasma/plasma.fs),
// with the files it brings along at their places beside it: its vertex stage
// and its imported images. The files of its image inputs (the surface's
// shaderInputs) are media like any other.

inline constexpr const char* collectedMediaFolder = "media";

// The files a shader brings along, found by reading it: paths relative to
// its folder (its vertex stage, its imported images), and the imported
// images it names outside its folder (as written), which cannot come along.
struct ShaderCompanions {
    std::vector<std::string> files;
    std::vector<std::string> outside;
};

struct CollectPlan {
    std::filesystem::path folder;      // chosen by the user
    std::filesystem::path projectFile; // where the copy of the project goes
    ProjectFile project;               // the project as it was when planned
    // The original project's folder, under which media that moved are found.
    std::optional<std::filesystem::path> sourceFolder;
    struct Media {
        std::string storedPath;       // as the project stores it
        std::filesystem::path target; // in folder/media (a shader: in a folder of its own there)
        bool shader = false;
    };
    std::vector<Media> media;
    ExistingTarget existing = ExistingTarget::keep;
    // Targets that are already there (a shader's: its folder): replaced with
    // ExistingTarget::replace.
    std::vector<std::filesystem::path> taken;
    // Reads a shader file for what it brings along (none: only the shader
    // itself is copied). Called on the thread that collects.
    std::function<ShaderCompanions(const std::filesystem::path& shaderFile)> shaderCompanions;
};

// Plans the copy of a project (whose file, if it has one, is documentURL)
// into folder. The project file keeps its name ("Untitled.prismeta.json" for
// one never saved); each media file in use keeps its name in folder/media,
// with " 2", " 3"... added before the extension where two would share one.
// Letter case does not tell names apart, since the copy may go to a stick
// that ignores it. With ExistingTarget::keep the names of entries already in
// the folder count as used too; with replace they are reused and listed in
// `taken`. The original project file is never a target. Reads the two
// folders' listings, nothing else.
CollectPlan planCollect(const ProjectFile& project,
                        const std::optional<std::filesystem::path>& documentURL,
                        const std::filesystem::path& folder, ExistingTarget existing);

struct CollectProgress {
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::size_t filesDone = 0;
    std::size_t files = 0;
    std::string current; // the name of the file being copied
};

struct CollectReport {
    std::filesystem::path projectFile;
    bool projectWritten = false;
    std::string projectError; // why the project file was not written
    std::size_t copied = 0;   // media files copied (with what shaders bring along)
    struct Problem {
        std::string storedPath;
        std::string reason;
    };
    // Media not copied, and why; the copy of the project keeps their stored
    // paths.
    std::vector<Problem> notCopied;
    bool cancelled = false; // stopped by the user: the project file was not written

    bool complete() const { return projectWritten && notCopied.empty(); }
};

// Carries out a plan: every media file is copied (from where relinking finds
// it when it is missing at its stored path) through a file that gets its name
// only once whole and synced, then the copy of the project is written the
// same way with its paths pointing at the copies. A file that cannot be read
// or written is reported and the rest go on. Runs on any thread; progress is
// called on it after every block, and cancel is read as often.
CollectReport collectProject(const CollectPlan& plan,
                             const std::function<void(const CollectProgress&)>& progress = {},
                             const std::atomic<bool>* cancel = nullptr);

// The name with " n" before its extension: "intro 2.mov", "show 2.prismeta.json".
std::string numberedName(const std::string& name, int n);

} // namespace prismeta
