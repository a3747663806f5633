#include "app/show/ShowMode.h"

#include "app/show/OutputWindowRegistry.h"
#include "core/Log.h"
#include "core/ProjectModel.h"
#include "placement/ShowWindows.h"

#include <algorithm>
#include <string>
#include <system_error>

namespace prismeta {

std::string showLogName(const std::string& name) {
    constexpr std::size_t longest = 120;
    return "\"" + (name.size() <= longest ? name : name.substr(0, longest) + "...") + "\"";
}

void startShow(ProjectModel& model, OutputWindowRegistry& windows,
               const std::filesystem::path& file) {
    // Relative to where the show was started, like any shell argument.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    // A failure writes the load line and leaves the empty project.
    (void)model.load(error ? file : absolute);

    const std::vector<OutputConfig>& outputs = model.outputs();
    const bool anyPlaced = std::any_of(outputs.begin(), outputs.end(),
                                       [](const OutputConfig& o) { return isUsable(o.display); });
    if (!anyPlaced) {
        logLine(outputs.empty()
                    ? std::string("Prismeta: show: the project has no outputs; the whole canvas "
                                  "fills the primary screen")
                    : "Prismeta: show: no output has a display; output " +
                          showLogName(outputs.front().name) + " fills the primary screen");
    }
    for (const std::optional<Uuid>& id : showWindows(outputs)) {
        windows.open(id);
    }
}

} // namespace prismeta
