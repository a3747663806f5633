#include "core/ProjectMedia.h"

#include "core/MediaSearch.h"

#include <unordered_map>

namespace prismeta {

namespace fs = std::filesystem;

std::vector<MediaUse> mediaInUse(std::span<const Surface> surfaces,
                                 const std::optional<std::string>& referencePath) {
    return mediaInUse(surfaces, {}, referencePath);
}

std::vector<MediaUse> mediaInUse(std::span<const Surface> surfaces,
                                 std::span<const OutputConfig> outputs,
                                 const std::optional<std::string>& referencePath) {
    std::vector<MediaUse> uses;
    std::unordered_map<std::string_view, std::size_t> index;
    const auto use = [&](const std::string& path) -> MediaUse& {
        const auto [it, added] = index.try_emplace(path, uses.size());
        if (added) {
            uses.push_back(MediaUse{path, {}, false, {}, {}});
        }
        return uses[it->second];
    };
    // Keys view the surfaces' own strings, which outlive the map.
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        const Surface& surface = surfaces[i];
        const bool showsFile = surface.mediaKind == MediaKind::image ||
                               surface.mediaKind == MediaKind::video ||
                               surface.mediaKind == MediaKind::shader;
        if (showsFile && surface.mediaPath && !surface.mediaPath->empty()) {
            use(*surface.mediaPath).surfaces.push_back(i);
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].blendMap && !outputs[i].blendMap->empty()) {
            use(*outputs[i].blendMap).outputs.push_back(i);
        }
    }
    if (referencePath && !referencePath->empty()) {
        use(*referencePath).reference = true;
    }
    for (std::size_t i = 0; i < surfaces.size(); ++i) {
        if (surfaces[i].mediaKind != MediaKind::shader) {
            continue;
        }
        for (const auto& [input, value] : surfaces[i].shaderInputs) {
            if (value.kind == ShaderInputValue::Kind::text && !value.text.empty()) {
                std::vector<std::size_t>& inputs = use(value.text).inputs;
                if (inputs.empty() || inputs.back() != i) {
                    inputs.push_back(i);
                }
            }
        }
    }
    return uses;
}

std::optional<fs::path> projectFolder(const std::optional<fs::path>& documentURL) {
    if (!documentURL || documentURL->empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(*documentURL, error);
    const fs::path folder = (error ? *documentURL : absolute).parent_path();
    if (folder.empty()) {
        return std::nullopt;
    }
    return folder;
}

MediaCheck checkMedia(std::string_view storedPath, const std::optional<fs::path>& folder) {
    if (storedPath.empty() || storedPath.find('\0') != std::string_view::npos ||
        !isMissing(fs::path(storedPath))) {
        return {};
    }
    if (folder) {
        if (auto found = findUnderFolder(storedPath, *folder)) {
            return {MediaCheck::State::relocated, std::move(found)};
        }
    }
    return {MediaCheck::State::missing, std::nullopt};
}

MediaLocations locateMovedMedia(const std::vector<MediaUse>& uses,
                                const std::optional<fs::path>& folder) {
    MediaLocations locations;
    for (const MediaUse& use : uses) {
        MediaCheck check = checkMedia(use.path, folder);
        if (check.found) {
            locations.add(use.path, check.found->string());
        }
    }
    return locations;
}

} // namespace prismeta
