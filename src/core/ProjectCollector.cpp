#include "core/ProjectCollector.h"

#include "core/MediaSearch.h"
#include "core/ProjectMedia.h"

#include <algorithm>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace prismeta {

namespace fs = std::filesystem;

namespace {

constexpr const char* untitledProjectName = "Untitled.prismeta.json";
constexpr std::string_view projectSuffix = ".prismeta.json";

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// The names in a folder, letter case folded; none when it cannot be listed.
std::unordered_set<std::string> namesIn(const fs::path& folder) {
    std::unordered_set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.insert(folded(it->path().filename().string()));
    }
    return names;
}

// The first of name, "name 2", "name 3"... not in used (folded), which it
// then joins.
std::string unusedName(const std::string& name, std::unordered_set<std::string>& used) {
    std::string candidate = name;
    for (int n = 2; used.count(folded(candidate)) != 0; ++n) {
        candidate = numberedName(name, n);
    }
    used.insert(folded(candidate));
    return candidate;
}

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

std::uint64_t fileSize(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
               ? static_cast<std::uint64_t>(info.st_size)
               : 0;
}

} // namespace

std::string numberedName(const std::string& name, int n) {
    const std::string number = " " + std::to_string(n);
    std::size_t dot = std::string::npos;
    if (name.size() > projectSuffix.size() &&
        folded(name.substr(name.size() - projectSuffix.size())) == projectSuffix) {
        dot = name.size() - projectSuffix.size();
    } else if (const std::size_t last = name.rfind('.'); last != std::string::npos && last > 0) {
        dot = last;
    }
    if (dot == std::string::npos) {
        return name + number;
    }
    return name.substr(0, dot) + number + name.substr(dot);
}

CollectPlan planCollect(const ProjectFile& project, const std::optional<fs::path>& documentURL,
                        const fs::path& folder, ExistingTarget existing) {
    CollectPlan plan;
    plan.folder = folder;
    plan.project = project;
    plan.sourceFolder = projectFolder(documentURL);
    plan.existing = existing;
    const bool replace = existing == ExistingTarget::replace;

    // The project file.
    const std::unordered_set<std::string> inFolder = namesIn(folder);
    const std::string projectName = documentURL && !documentURL->filename().empty()
                                        ? documentURL->filename().string()
                                        : std::string(untitledProjectName);
    std::unordered_set<std::string> usedInFolder =
        replace ? std::unordered_set<std::string>{} : inFolder;
    for (;;) {
        const std::string name = unusedName(projectName, usedInFolder);
        const fs::path target = folder / name;
        // Collecting into the project's own folder must not replace it.
        if (documentURL && sameFile(target, *documentURL)) {
            usedInFolder.insert(folded(name));
            continue;
        }
        plan.projectFile = target;
        if (inFolder.count(folded(name)) != 0) {
            plan.taken.push_back(target);
        }
        break;
    }

    // The media, one copy per stored path.
    const fs::path mediaFolder = folder / collectedMediaFolder;
    const std::unordered_set<std::string> inMedia = namesIn(mediaFolder);
    std::unordered_set<std::string> usedInMedia =
        replace ? std::unordered_set<std::string>{} : inMedia;
    const auto add = [&](const std::string& storedPath, bool shader) {
        const std::vector<std::string> parts = storedPathComponents(storedPath);
        if (parts.empty()) {
            return; // names no file; the copy keeps it as it is
        }
        // A shader's folder is named after the file without its extension.
        const std::string name =
            unusedName(shader ? fs::path(parts.back()).stem().string() : parts.back(), usedInMedia);
        const fs::path target = shader ? mediaFolder / name / parts.back() : mediaFolder / name;
        if (inMedia.count(folded(name)) != 0) {
            plan.taken.push_back(mediaFolder / name); // a shader's: its folder
        }
        plan.media.push_back({storedPath, target, shader});
    };
    for (const MediaUse& use :
         mediaInUse(project.surfaces, project.outputs, project.backgroundImagePath)) {
        const bool shader = std::any_of(use.surfaces.begin(), use.surfaces.end(), [&](auto i) {
            return project.surfaces[i].mediaKind == MediaKind::shader;
        });
        add(use.path, shader);
    }
    // The files of shader surfaces' image inputs (a value that is text).
    for (const Surface& surface : project.surfaces) {
        if (surface.mediaKind != MediaKind::shader) {
            continue;
        }
        for (const auto& [input, value] : surface.shaderInputs) {
            if (value.kind != ShaderInputValue::Kind::text || value.text.empty()) {
                continue;
            }
            const bool planned =
                std::any_of(plan.media.begin(), plan.media.end(), [&](const CollectPlan::Media& m) {
                    return m.storedPath == value.text;
                });
            if (!planned) {
                add(value.text, false);
            }
        }
    }
    return plan;
}

CollectReport collectProject(const CollectPlan& plan,
                             const std::function<void(const CollectProgress&)>& progress,
                             const std::atomic<bool>* cancel) {
    CollectReport report;
    report.projectFile = plan.projectFile;
    const auto cancelled = [cancel] {
        return cancel != nullptr && cancel->load(std::memory_order_relaxed);
    };

    // Where each file is now, and how much there is to copy; a shader's
    // companions follow it (source, target).
    CollectProgress state;
    std::vector<std::optional<fs::path>> sources;
    std::vector<std::vector<std::pair<fs::path, fs::path>>> companions(plan.media.size());
    for (const CollectPlan::Media& media : plan.media) {
        if (cancelled()) {
            report.cancelled = true;
            return report;
        }
        const MediaCheck check = checkMedia(media.storedPath, plan.sourceFolder);
        switch (check.state) {
        case MediaCheck::State::present:
            sources.emplace_back(media.storedPath);
            break;
        case MediaCheck::State::relocated:
            sources.push_back(check.found);
            break;
        case MediaCheck::State::missing:
            sources.emplace_back();
            report.notCopied.push_back(
                {media.storedPath, "the file is missing and was not found near the project"});
            continue;
        }
        state.bytesTotal += fileSize(*sources.back());
        ++state.files;
        if (media.shader && plan.shaderCompanions) {
            const fs::path from = sources.back()->parent_path();
            const fs::path to = media.target.parent_path();
            const ShaderCompanions found = plan.shaderCompanions(*sources.back());
            for (const std::string& file : found.files) {
                // Only inside the shader's folder: nothing is written elsewhere.
                const fs::path relative = fs::path(file).lexically_normal();
                if (relative.empty() || !relative.is_relative() || *relative.begin() == "..") {
                    continue;
                }
                companions[sources.size() - 1].emplace_back(from / relative, to / relative);
                state.bytesTotal += fileSize(from / relative);
                ++state.files;
            }
            for (const std::string& file : found.outside) {
                report.notCopied.push_back(
                    {(from / file).lexically_normal().string(),
                     "the shader " + media.storedPath +
                         " names it outside its own folder; its copy still names it there"});
            }
        }
    }

    std::error_code error;
    fs::create_directories(plan.folder, error);
    if (error) {
        report.projectError = "cannot create " + plan.folder.string() + ": " + error.message();
    }
    bool madeMediaFolder = false;
    if (!error && state.files > 0) {
        madeMediaFolder = fs::create_directories(plan.folder / collectedMediaFolder, error);
    }
    const std::string folderError = error ? "cannot create " +
                                                (plan.folder / collectedMediaFolder).string() +
                                                ": " + error.message()
                                          : std::string();

    std::unordered_map<std::string, std::string> copies; // stored path -> copy
    for (std::size_t i = 0; i < plan.media.size(); ++i) {
        const CollectPlan::Media& media = plan.media[i];
        if (!sources[i]) {
            continue;
        }
        if (!folderError.empty()) {
            report.notCopied.push_back({media.storedPath, folderError});
            continue;
        }
        const auto copyOne = [&](const fs::path& from, const fs::path& to) {
            state.current = to.filename().string();
            const std::uint64_t before = state.bytesDone;
            if (progress) {
                progress(state);
            }
            std::error_code made;
            fs::create_directories(to.parent_path(), made); // a shader's folder
            Status copied = copyFileSafely(from, to, plan.existing, [&](std::uint64_t bytes) {
                state.bytesDone = before + bytes;
                if (progress) {
                    progress(state);
                }
                return !cancelled();
            });
            state.bytesDone = before + fileSize(from);
            ++state.filesDone;
            return copied;
        };
        const Status copied = copyOne(*sources[i], media.target);
        if (copied) {
            for (const auto& [from, to] : companions[i]) {
                if (cancelled()) {
                    break;
                }
                if (const Status companion = copyOne(from, to); !companion) {
                    report.notCopied.push_back({from.string(), companion.error});
                } else {
                    ++report.copied;
                }
            }
        }
        if (cancelled()) {
            report.cancelled = true;
            if (madeMediaFolder && report.copied == 0) {
                std::error_code ignored;
                fs::remove(plan.folder / collectedMediaFolder, ignored); // only when empty
            }
            return report;
        }
        if (!copied) {
            report.notCopied.push_back({media.storedPath, copied.error});
            continue;
        }
        ++report.copied;
        copies.emplace(media.storedPath, media.target.string());
    }
    if (progress) {
        state.current.clear();
        progress(state);
    }
    if (!report.projectError.empty()) {
        return report;
    }

    // The copy of the project, naming the copies.
    ProjectFile copy = plan.project;
    for (Surface& surface : copy.surfaces) {
        if (surface.mediaPath) {
            if (const auto it = copies.find(*surface.mediaPath); it != copies.end()) {
                surface.mediaPath = it->second;
            }
        }
        for (auto& [input, value] : surface.shaderInputs) {
            if (value.kind == ShaderInputValue::Kind::text) {
                if (const auto it = copies.find(value.text); it != copies.end()) {
                    value.text = it->second;
                }
            }
        }
    }
    for (OutputConfig& output : copy.outputs) {
        if (output.blendMap) {
            if (const auto it = copies.find(*output.blendMap); it != copies.end()) {
                output.blendMap = it->second;
            }
        }
    }
    if (copy.backgroundImagePath) {
        if (const auto it = copies.find(*copy.backgroundImagePath); it != copies.end()) {
            copy.backgroundImagePath = it->second;
        }
    }
    const Result<std::string> bytes = writeProjectFile(copy);
    if (!bytes) {
        report.projectError = bytes.error();
        return report;
    }
    const Status written = writeFileSafely(plan.projectFile, bytes.value(), plan.existing);
    report.projectWritten = written.ok;
    report.projectError = written.error;
    return report;
}

} // namespace prismeta
