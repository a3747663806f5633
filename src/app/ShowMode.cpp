#include "app/ShowMode.h"

#include "app/OutputWindowRegistry.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "placement/ShowWindows.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace prismeta {

namespace {

std::string quoted(const std::string& text) {
    constexpr std::size_t longest = 120;
    return "\"" + (text.size() <= longest ? text : text.substr(0, longest) + "...") + "\"";
}

bool usesMediaFile(const Surface& surface) {
    return surface.mediaKind == MediaKind::image || surface.mediaKind == MediaKind::video;
}

void logMissingMedia(const ProjectModel& model) {
    std::size_t number = 0;
    for (const Surface& surface : model.surfaces()) {
        ++number;
        if (!usesMediaFile(surface)) {
            continue;
        }
        std::error_code error;
        const bool found = surface.mediaPath && !surface.mediaPath->empty() &&
                           std::filesystem::is_regular_file(*surface.mediaPath, error);
        if (!found) {
            const std::string path = surface.mediaPath ? *surface.mediaPath : std::string();
            logLine("Prismeta: show: media of surface " + std::to_string(number) + " " +
                    quoted(surface.name) + " not found: " + (path.empty() ? "no file" : path) +
                    "; it shows its placeholder");
        }
    }
}

} // namespace

void startShow(ProjectModel& model, OutputWindowRegistry& windows,
               const std::filesystem::path& file) {
    // Relative to where the show was started, like any shell argument.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    // A failure writes the load line and leaves the empty project.
    (void)model.load(error ? file : absolute);
    logMissingMedia(model);

    const std::vector<OutputConfig>& outputs = model.outputs();
    const bool anyPlaced = std::any_of(outputs.begin(), outputs.end(), [](const OutputConfig& o) {
        return o.display && isPlausible(*o.display);
    });
    if (!anyPlaced) {
        logLine(outputs.empty()
                    ? std::string("Prismeta: show: the project has no outputs; the whole canvas "
                                  "fills the primary screen")
                    : "Prismeta: show: no output has a display; output " +
                          quoted(outputs.front().name) + " fills the primary screen");
    }
    for (const std::optional<Uuid>& id : showWindows(outputs)) {
        windows.open(id);
    }
}

} // namespace prismeta
