#include "placement/ShowWindows.h"

#include <algorithm>

namespace prismeta {

std::vector<std::optional<Uuid>> showWindows(const std::vector<OutputConfig>& outputs) {
    std::vector<std::optional<Uuid>> windows;
    for (const OutputConfig& output : outputs) {
        const bool placed = isUsable(output.display);
        const bool seen = std::find(windows.begin(), windows.end(),
                                    std::optional<Uuid>(output.id)) != windows.end();
        if (placed && !seen) {
            windows.emplace_back(output.id);
        }
    }
    if (windows.empty()) {
        windows.push_back(outputs.empty() ? std::nullopt : std::optional<Uuid>(outputs.front().id));
    }
    return windows;
}

} // namespace prismeta
