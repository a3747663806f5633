#include "app/calibration/BlendMapFiles.h"

#include "calibration/ImageFiles.h"

#include <system_error>

namespace prismeta {

namespace fs = std::filesystem;

namespace {

// A name that is safe as a part of a file name everywhere.
std::string fileNamePart(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        out += plain ? c : '_';
        if (out.size() >= 40) {
            break;
        }
    }
    return out.empty() ? std::string("output") : out;
}

} // namespace

fs::path blendMapFolder(const std::optional<fs::path>& projectFile, const fs::path& fallback,
                        const QDateTime& when) {
    const std::string stamp = when.toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    if (!projectFile || projectFile->empty()) {
        return fallback / "calibration" / stamp;
    }
    std::string stem = projectFile->filename().string();
    for (const std::string suffix : {".prismeta.json", ".json"}) {
        if (stem.size() > suffix.size() &&
            stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0) {
            stem.resize(stem.size() - suffix.size());
            break;
        }
    }
    return projectFile->parent_path() / (stem + "-calibration") / stamp;
}

Result<std::vector<std::string>> writeBlendMaps(const fs::path& folder,
                                                const calibration::CalibrationResult& result,
                                                const std::vector<std::size_t>& numbers) {
    using Paths = std::vector<std::string>;
    std::error_code error;
    const bool made = fs::create_directories(folder, error);
    if (error) {
        return Result<Paths>::failure("cannot make the folder " + folder.string() + ": " +
                                      error.message());
    }
    Paths paths;
    const auto undo = [&] {
        std::error_code ignored;
        for (const std::string& path : paths) {
            fs::remove(path, ignored);
        }
        if (made) {
            fs::remove(folder, ignored);
        }
    };
    for (std::size_t k = 0; k < result.outputs.size(); ++k) {
        const calibration::OutputCalibration& output = result.outputs[k];
        const std::size_t number = k < numbers.size() ? numbers[k] : k + 1;
        const fs::path file =
            folder / ("blend-" + std::to_string(number) + "-" + fileNamePart(output.name) + ".png");
        if (const Status written = calibration::writeGrey16Png(file.string(), output.blendMap);
            !written) {
            undo();
            return Result<Paths>::failure("cannot write " + file.string() + ": " + written.error);
        }
        paths.push_back(file.string());
    }
    return paths;
}

} // namespace prismeta
