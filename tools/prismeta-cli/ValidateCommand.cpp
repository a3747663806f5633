#include "CliCommand.h"

#include "core/LiveSource.h"
#include "core/Log.h"
#include "core/ProjectMedia.h"
#include "core/ProjectModel.h"
#include "core/Surface.h"
#include "cues/TrackedLook.h"
#include "dmx/PatchCheck.h"
#include "render/HeadlessContext.h"
#include "render/IsfCheck.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace prismeta::cli {

namespace {
// Canvas sizes print as whole numbers when they are whole ("1920x1080").
std::string formatDimension(double value) {
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// Every shader the surfaces show, compiled as a window would: one log line
// for each that does not read, translate, compile or link. True when all do
// (or when there is none).
bool shadersCompile(const ProjectModel& model) {
    std::set<std::string> paths;
    for (const Surface& surface : model.surfaces().vector()) {
        if (surface.mediaKind == MediaKind::shader && surface.mediaPath &&
            !surface.mediaPath->empty()) {
            paths.insert(*surface.mediaPath);
        }
    }
    if (paths.empty()) {
        return true;
    }
    auto context = HeadlessContext::create();
    if (!context) {
        logLine("Prismeta: shaders not compiled: " + context.error());
        return false;
    }
    bool allCompile = true;
    for (const std::string& path : paths) {
        if (const Status status = checkIsfShader(path); !status) {
            logLine("Prismeta: shader " + path + ": " + status.error);
            allCompile = false;
        }
    }
    return allCompile;
}
// The live sources of the surfaces and of the cues' looks, by source and
// options, with where each is used ("Stage Camera", "cue 3"), in the order
// first met. Nothing is opened.
struct LiveUse {
    std::string source;
    LiveOptions options;
    std::vector<std::string> users;
};

std::vector<LiveUse> liveSources(const ProjectModel& model) {
    std::vector<LiveUse> uses;
    std::map<std::pair<std::string, std::string>, std::size_t> found;
    const auto add = [&](const std::string& source, const LiveOptions& options, std::string user) {
        const auto key = std::make_pair(source, liveOptionsText(options));
        auto [at, isNew] = found.emplace(key, uses.size());
        if (isNew) {
            uses.push_back({source, options, {}});
        }
        std::vector<std::string>& users = uses[at->second].users;
        if (users.empty() || users.back() != user) {
            users.push_back(std::move(user));
        }
    };
    for (const Surface& surface : model.surfaces()) {
        if (surface.mediaKind == MediaKind::live && surface.mediaPath &&
            !surface.mediaPath->empty()) {
            add(*surface.mediaPath, surface.liveOptions, surface.name);
        }
    }
    for (std::size_t i = 0; i < model.cues().size(); ++i) {
        for (const CueLook& look : model.cues()[i].looks) {
            if (look.mediaKind != MediaKind::live || !look.mediaPath || look.mediaPath->empty()) {
                continue;
            }
            // A look keeps its surface's options.
            LiveOptions options;
            for (const Surface& surface : model.surfaces()) {
                if (surface.id == look.surface) {
                    options = surface.liveOptions;
                }
            }
            add(*look.mediaPath, options, "cue " + std::to_string(i + 1));
        }
    }
    return uses;
}
} // namespace

int runValidate(std::span<const std::string_view> args) {
    if (args.size() != 1 || args[0].empty() || args[0].front() == '-') {
        printUsage(true);
        return exitUsage;
    }
    ProjectModel model;
    if (!model.load(std::string(args[0]))) {
        return exitFailure; // the load line is already on standard error
    }
    if (!shadersCompile(model)) {
        return exitFailure;
    }
    const CanvasSize canvas = model.canvasSize();
    // Masks and cues are counted only where a project has any.
    std::size_t masks = 0;
    for (const Surface& surface : model.surfaces()) {
        masks += surface.masks.size();
    }
    for (const OutputConfig& output : model.outputs()) {
        masks += output.masks.size();
    }
    // Cues likewise.
    std::string cues;
    if (!model.cues().empty()) {
        cues = ", " + plural(model.cues().size(), "cue");
        const std::size_t missing =
            looksForMissingSurfaces(model.cues(), model.surfaces().vector());
        if (missing > 0) {
            cues += " (" + plural(missing, "look") + " for missing surfaces)";
        }
    }
    // Warped outputs and blend maps likewise; a blend map missing at its
    // path (and not found beside the project) is said as render says a
    // missing file, and counted.
    std::size_t warped = 0;
    std::size_t smooth = 0; // smooth meshes, of surfaces and output warps
    std::size_t maps = 0;
    std::size_t missingMaps = 0;
    const auto folder = projectFolder(model.documentURL());
    for (const OutputConfig& output : model.outputs()) {
        warped += output.warp ? 1 : 0;
        smooth += output.warp && output.warp->mesh &&
                          output.warp->mesh->interpolation == WarpMesh::Interpolation::smooth
                      ? 1
                      : 0;
        if (output.blendMap && !output.blendMap->empty()) {
            ++maps;
            if (checkMedia(*output.blendMap, folder).state == MediaCheck::State::missing) {
                ++missingMaps;
                std::fprintf(stderr, "prismeta-cli: media not found: %s (the blend map of %s)\n",
                             output.blendMap->c_str(), output.name.c_str());
            }
        }
    }
    for (const Surface& surface : model.surfaces()) {
        smooth += surface.mesh && surface.mesh->interpolation == WarpMesh::Interpolation::smooth;
    }
    std::string outputParts;
    if (warped > 0) {
        outputParts += ", " + plural(warped, "warped output");
    }
    if (smooth > 0) {
        outputParts +=
            ", " + std::to_string(smooth) + (smooth == 1 ? " smooth mesh" : " smooth meshes");
    }
    if (maps > 0) {
        outputParts += ", " + plural(maps, "blend map");
        if (missingMaps > 0) {
            outputParts += " (" + std::to_string(missingMaps) + " missing)";
        }
    }
    // Fixtures on a lighting desk's universes; shared channels and ones past
    // a universe's end are reported, and the project is still valid.
    const PatchCheck patch = checkPatch(model);
    for (const std::string& problem : patch.problems) {
        logLine("Prismeta: DMX: " + problem);
    }
    const std::string fixtures =
        patch.fixtures > 0 ? ", " + plural(patch.fixtures, "DMX fixture") : std::string();
    // Live sources are listed, never opened: a camera or a stream may be
    // somewhere else at this moment. A path no live reader takes is said.
    const std::vector<LiveUse> live = liveSources(model);
    const std::string liveCount =
        live.empty() ? std::string() : ", " + plural(live.size(), "live source");
    for (const LiveUse& use : live) {
        if (liveSourceType(use.source) == LiveSourceType::unknown) {
            logLine("Prismeta: live source " + displayedLiveSource(use.source) +
                    " is not a capture device, a stream URL (srt, udp, rtp, rtsp, http, https) "
                    "or an SDP file: its surface shows the placeholder");
        }
    }
    // The optional counts follow the canvas, so the part every project has
    // reads as it always did.
    const std::string maskCount = masks > 0 ? ", " + plural(masks, "mask") : std::string();
    std::printf(
        "%s, %s, canvas %sx%s%s%s%s%s%s\n", plural(model.surfaces().size(), "surface").c_str(),
        plural(model.outputs().size(), "output").c_str(), formatDimension(canvas.width).c_str(),
        formatDimension(canvas.height).c_str(), maskCount.c_str(), outputParts.c_str(),
        cues.c_str(), fixtures.c_str(), liveCount.c_str());
    for (const LiveUse& use : live) {
        std::string users;
        for (const std::string& user : use.users) {
            users += (users.empty() ? "" : ", ") + user;
        }
        std::string line = "live source " + displayedLiveSource(use.source);
        if (const std::string options = liveOptionsText(use.options); !options.empty()) {
            line += " (" + options + ")";
        }
        std::printf("%s: %s\n", line.c_str(), users.c_str());
    }
    return exitOk;
}

} // namespace prismeta::cli
