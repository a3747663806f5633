// prismeta-cli calibration-patterns and calibrate: the offline way through
// camera calibration. The patterns of each output are written to a folder;
// the camera's pictures of them, captured by any means under the same file
// names, are decoded and fitted into crops, warps and blend maps.
#include "CliCommand.h"
#include "OutputArguments.h"

#include "calibration/ApplyCalibration.h"
#include "calibration/Calibration.h"
#include "calibration/ImageFiles.h"
#include "calibration/PatternManifest.h"
#include "core/FileIO.h"
#include "core/ProjectModel.h"
#include "media/FFmpegLog.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace prismeta::cli {

namespace fs = std::filesystem;
namespace cal = calibration;

namespace {

int usageError(const std::string& why) {
    std::fprintf(stderr, "prismeta-cli: %s\n", why.c_str());
    printUsage(true);
    return exitUsage;
}

std::string quotedName(const std::string& name) {
    return "Output '" + name + "'";
}

// The project's output a pattern list names: by its id, else by its name.
std::optional<std::size_t> outputOf(const std::vector<OutputConfig>& outputs,
                                    const cal::ManifestOutput& entry) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].id.text() == entry.id) {
            return i;
        }
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].name == entry.name) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

int runCalibrationPatterns(std::span<const std::string_view> args) {
    silenceFFmpegLogging();
    std::optional<std::string> project;
    std::optional<std::string> folder;
    std::vector<std::string> selectors;
    std::optional<std::pair<int, int>> size;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool takesValue = arg == "-o" || arg == "--output" || arg == "--size";
        if (takesValue && i + 1 >= args.size()) {
            return usageError(std::string(arg) + " needs a value");
        }
        if (arg == "-o" && !folder) {
            folder = std::string(args[++i]);
        } else if (arg == "--output") {
            selectors.emplace_back(args[++i]);
        } else if (arg == "--size" && !size) {
            size = parseSize(args[++i]);
            if (!size || size->first > 16384 || size->second > 16384) {
                return usageError(
                    "--size must be two whole numbers from 1 to 16384 like 1920x1080");
            }
        } else if (!arg.empty() && arg.front() != '-' && !project) {
            project = std::string(arg);
        } else {
            return usageError("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (!project || !folder || folder->empty()) {
        return usageError("calibration-patterns needs a project file and -o DIR");
    }
    ProjectModel model;
    if (!model.load(*project)) {
        return exitFailure;
    }
    std::vector<std::size_t> chosen;
    for (const std::string& selector : selectors) {
        const auto index = selectOutput(model.outputs(), selector);
        if (!index) {
            return usageError("no output matches '" + selector + "'");
        }
        chosen.push_back(*index);
    }
    if (selectors.empty()) {
        for (std::size_t i = 0; i < model.outputs().size(); ++i) {
            chosen.push_back(i);
        }
    }
    if (chosen.empty()) {
        return failure("the project has no outputs");
    }
    std::vector<cal::ManifestOutput> manifest;
    for (const std::size_t index : chosen) {
        const OutputConfig& output = model.outputs()[index];
        cal::ManifestOutput entry;
        entry.id = output.id.text();
        entry.name = output.name;
        if (size) {
            std::tie(entry.width, entry.height) = *size;
        } else if (isUsable(output.display)) {
            entry.width = output.display->geometry.width;
            entry.height = output.display->geometry.height;
        } else {
            return usageError(quotedName(output.name) +
                              " has no screen, so its window's size is not known: give --size WxH");
        }
        entry.options.gamma = output.blendGamma;
        manifest.push_back(std::move(entry));
    }
    std::error_code error;
    fs::create_directories(*folder, error);
    if (error) {
        return failure("cannot make the folder " + *folder + ": " + error.message());
    }
    for (std::size_t k = 0; k < manifest.size(); ++k) {
        cal::ManifestOutput& entry = manifest[k];
        const cal::PatternSet set = entry.patternSet();
        entry.options = set.options;
        for (std::size_t p = 0; p < set.patterns.size(); ++p) {
            const std::string name = cal::patternFileName(k, set.patterns[p]);
            if (const Status written = cal::writeGreyPng((fs::path(*folder) / name).string(),
                                                         cal::renderPattern(set, p));
                !written) {
                return failure("cannot write " + name + ": " + written.error);
            }
            entry.images.push_back(name);
        }
    }
    if (const Status written =
            writeFileAtomically(fs::path(*folder) / "patterns.json", cal::writeManifest(manifest));
        !written) {
        return failure("cannot write patterns.json: " + written.error);
    }
    // What was written where, one line an output.
    for (std::size_t k = 0; k < manifest.size(); ++k) {
        const cal::ManifestOutput& entry = manifest[k];
        std::printf("%s: %zu patterns, %dx%d, in %s as out%zu-*.png\n",
                    quotedName(entry.name).c_str(), entry.images.size(), entry.width, entry.height,
                    fs::path(*folder).string().c_str(), k + 1);
    }
    return exitOk;
}

int runCalibrate(std::span<const std::string_view> args) {
    silenceFFmpegLogging();
    std::optional<std::string> project;
    std::optional<std::string> captures;
    std::optional<std::string> out;
    cal::CalibrationOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool takesValue =
            arg == "-o" || arg == "--captures" || arg == "--region" || arg == "--mesh";
        if (takesValue && i + 1 >= args.size()) {
            return usageError(std::string(arg) + " needs a value");
        }
        if (arg == "-o" && !out) {
            out = std::string(args[++i]);
        } else if (arg == "--captures" && !captures) {
            captures = std::string(args[++i]);
        } else if (arg == "--region" && !options.region) {
            const std::string_view text = args[++i];
            std::vector<double> numbers;
            std::size_t start = 0;
            while (start <= text.size()) {
                const std::size_t comma = std::min(text.find(',', start), text.size());
                double value = 0.0;
                const auto [end, ec] =
                    std::from_chars(text.data() + start, text.data() + comma, value);
                if (ec != std::errc() || end != text.data() + comma || !std::isfinite(value)) {
                    return usageError("--region must be eight numbers x1,y1,...,x4,y4");
                }
                numbers.push_back(value);
                start = comma + 1;
            }
            if (numbers.size() != 8) {
                return usageError("--region must be eight numbers x1,y1,...,x4,y4");
            }
            cal::CanvasCorners corners;
            for (std::size_t k = 0; k < 4; ++k) {
                corners[k] = {numbers[2 * k], numbers[2 * k + 1]};
            }
            if (!cal::canvasToCamera(corners)) {
                return usageError("--region: the corners (top-left, top-right, bottom-right, "
                                  "bottom-left) do not form a quadrilateral");
            }
            options.region = corners;
        } else if (arg == "--mesh" && options.warp.model != cal::WarpModel::mesh) {
            const auto cells = parseSize(args[++i]);
            if (!cells || cells->first > 256 || cells->second > 256) {
                return usageError("--mesh must be COLSxROWS, each 1 to 256");
            }
            options.warp.model = cal::WarpModel::mesh;
            std::tie(options.warp.meshCols, options.warp.meshRows) = *cells;
        } else if (!arg.empty() && arg.front() != '-' && !project) {
            project = std::string(arg);
        } else {
            return usageError("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (!project || !captures || !out || out->empty()) {
        return usageError("calibrate needs a project file, --captures DIR and -o OUT");
    }
    ProjectModel model;
    if (!model.load(*project)) {
        return exitFailure;
    }
    const fs::path folder(*captures);
    const auto manifestText = readRegularFile(folder / "patterns.json", std::size_t{16} << 20);
    if (!manifestText) {
        return failure("cannot read " + (folder / "patterns.json").string() + ": " +
                       manifestText.error());
    }
    const auto manifest = cal::readManifest(manifestText.value());
    if (!manifest) {
        return failure((folder / "patterns.json").string() + ": " + manifest.error());
    }
    options.canvasAspect = model.canvasSize().width / model.canvasSize().height;

    std::vector<std::size_t> indexes;
    std::vector<std::string> names;
    std::vector<cal::DecodedOutput> decoded;
    std::vector<std::string> problems;
    for (const cal::ManifestOutput& entry : manifest.value()) {
        const std::optional<std::size_t> index = outputOf(model.outputs(), entry);
        if (!index) {
            problems.push_back(quotedName(entry.name) + ": not in the project");
            continue;
        }
        const cal::PatternSet set = entry.patternSet();
        std::vector<cal::GreyImage> pictures;
        for (const std::string& image : entry.images) {
            auto picture = cal::readGreyImage((folder / image).string());
            if (!picture) {
                problems.push_back(quotedName(entry.name) + ": cannot read the camera picture " +
                                   image);
                break;
            }
            pictures.push_back(std::move(picture.value()));
        }
        if (pictures.size() != entry.images.size()) {
            continue;
        }
        if (model.outputs()[*index].blendGamma == 1.0f) {
            std::fprintf(stderr,
                         "%s: its blend gamma is 1: set it to the projector's gamma (about 2.2) "
                         "for even blends\n",
                         quotedName(entry.name).c_str());
        }
        indexes.push_back(*index);
        names.push_back(model.outputs()[*index].name);
        decoded.push_back(cal::decodePatterns(set, pictures));
    }
    for (const std::string& line : problems) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (!problems.empty()) {
        return exitFailure;
    }
    std::vector<const cal::DecodedOutput*> pointers;
    for (const cal::DecodedOutput& d : decoded) {
        pointers.push_back(&d);
    }
    const cal::CalibrationResult result = cal::calibrate(pointers, names, options);
    for (const cal::OutputCalibration& o : result.outputs) {
        std::printf("%s\n", cal::summaryLine(o).c_str());
    }
    std::fflush(stdout);
    if (!result.applicable()) {
        for (const std::string& line : result.failureLines()) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        return exitFailure;
    }
    // Blend maps beside the calibrated project: "show.prismeta.json" gets
    // "show-blend-1.png" and so on, in the order of patterns.json.
    const fs::path outPath = fs::absolute(*out);
    std::string stem = outPath.filename().string();
    for (const char* suffix : {".prismeta.json", ".json"}) {
        const std::string s(suffix);
        if (stem.size() > s.size() && stem.compare(stem.size() - s.size(), s.size(), s) == 0) {
            stem.resize(stem.size() - s.size());
            break;
        }
    }
    std::vector<std::string> blendMaps;
    for (std::size_t k = 0; k < result.outputs.size(); ++k) {
        const fs::path map =
            outPath.parent_path() / (stem + "-blend-" + std::to_string(k + 1) + ".png");
        if (const Status written = cal::writeGrey16Png(map.string(), result.outputs[k].blendMap);
            !written) {
            return failure("cannot write " + map.string() + ": " + written.error);
        }
        blendMaps.push_back(map.string());
    }
    cal::applyCalibration(model, indexes, result, blendMaps);
    if (!model.save(outPath)) {
        return exitFailure;
    }
    return exitOk;
}

} // namespace prismeta::cli
