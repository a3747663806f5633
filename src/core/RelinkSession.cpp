#include "core/RelinkSession.h"

#include "core/ProjectModel.h"

#include <unordered_map>

namespace prismeta {

namespace fs = std::filesystem;

RelinkSession::RelinkSession(const ProjectModel& model)
    : uses_(mediaInUse(model.surfaces().vector(), model.outputs(), model.backgroundImagePath())),
      folder_(prismeta::projectFolder(model.documentURL())) {
    const SurfaceList& surfaces = model.surfaces();
    names_.reserve(uses_.size());
    for (const MediaUse& use : uses_) {
        std::vector<std::string> names;
        for (const std::vector<std::size_t>* users : {&use.surfaces, &use.inputs}) {
            for (std::size_t i = 0; i < users->size() && names.size() < namesKept; ++i) {
                names.push_back(surfaces[(*users)[i]].name.substr(0, nameBytesKept));
            }
        }
        names_.push_back(std::move(names));
        std::vector<std::string> outputs;
        for (std::size_t i : use.outputs) {
            outputs.push_back(model.outputs()[i].name.substr(0, nameBytesKept));
        }
        outputNames_.push_back(std::move(outputs));
    }
    std::vector<std::string> paths;
    for (const MediaUse& use : uses_) {
        paths.push_back(use.path);
    }
    start([paths = std::move(paths), folder = folder_, this] {
        Outcome outcome;
        for (const std::string& path : paths) {
            if (cancel_.load()) {
                break;
            }
            outcome.checks.push_back(checkMedia(path, folder));
        }
        return outcome;
    });
}

RelinkSession::~RelinkSession() {
    cancel_.store(true);
    if (worker_.joinable()) {
        worker_.join();
    }
}

void RelinkSession::start(std::function<Outcome()> job) {
    done_.store(false);
    outcome_.reset();
    worker_ = std::thread([this, job = std::move(job)] {
        Outcome outcome = job();
        outcome_ = std::move(outcome);
        done_.store(true, std::memory_order_release);
    });
}

bool RelinkSession::poll() {
    if (!worker_.joinable() || !done_.load(std::memory_order_acquire)) {
        return false;
    }
    takeOutcome();
    return true;
}

void RelinkSession::wait() {
    if (worker_.joinable()) {
        takeOutcome();
    }
}

void RelinkSession::takeOutcome() {
    worker_.join();
    Outcome outcome = std::move(*outcome_);
    outcome_.reset();
    if (!checked_) {
        checked_ = true;
        for (std::size_t i = 0; i < outcome.checks.size() && i < uses_.size(); ++i) {
            const MediaCheck& check = outcome.checks[i];
            if (check.state == MediaCheck::State::present) {
                continue;
            }
            Item item;
            item.path = uses_[i].path;
            item.surfaceCount = uses_[i].surfaces.size() + uses_[i].inputs.size();
            item.surfaceNames = names_[i];
            item.reference = uses_[i].reference;
            item.blendMapOutputs = outputNames_[i];
            item.found = check.found;
            item.accepted = check.found.has_value();
            items_.push_back(std::move(item));
        }
        return;
    }
    for (std::size_t i = 0; i < outcome.matches.size() && i < items_.size(); ++i) {
        if (const auto& match = outcome.matches[i]) {
            items_[i].found = match->file;
            items_[i].ties = match->ties;
            items_[i].accepted = true;
        }
    }
}

bool RelinkSession::searchFolder(const fs::path& folder) {
    if (busy() || !checked_ || folder.empty()) {
        return false;
    }
    searched_ = folder;
    std::vector<std::string> paths;
    for (const Item& item : items_) {
        paths.push_back(item.path);
    }
    start([paths = std::move(paths), folder, this] {
        Outcome outcome;
        outcome.matches = searchFolderTree(folder, paths, &cancel_);
        return outcome;
    });
    return true;
}

void RelinkSession::setAccepted(std::size_t index, bool accepted) {
    if (index < items_.size()) {
        items_[index].accepted = accepted && items_[index].found.has_value();
    }
}

std::size_t RelinkSession::acceptedCount() const {
    std::size_t count = 0;
    for (const Item& item : items_) {
        count += item.accepted ? 1 : 0;
    }
    return count;
}

RelinkSession::Applied RelinkSession::apply(ProjectModel& model) const {
    std::unordered_map<std::string, std::string> relinks;
    for (const Item& item : items_) {
        if (item.accepted && item.found) {
            relinks.emplace(item.path, item.found->string());
        }
    }
    Applied applied;
    applied.paths = relinks.size();
    if (relinks.empty()) {
        return applied;
    }
    std::vector<Surface> surfaces = model.surfaces().copy();
    for (Surface& surface : surfaces) {
        bool relinked = false;
        if (surface.mediaPath) {
            if (const auto it = relinks.find(*surface.mediaPath); it != relinks.end()) {
                surface.mediaPath = it->second;
                relinked = true;
            }
        }
        // The files of a shader's image inputs.
        if (surface.mediaKind == MediaKind::shader) {
            for (auto& [input, value] : surface.shaderInputs) {
                if (value.kind != ShaderInputValue::Kind::text) {
                    continue;
                }
                if (const auto it = relinks.find(value.text); it != relinks.end()) {
                    value.text = it->second;
                    relinked = true;
                }
            }
        }
        applied.surfaces += relinked ? 1 : 0;
    }
    if (applied.surfaces > 0) {
        model.pushUndo("Relink Media");
        model.setSurfaces(std::move(surfaces));
    }
    std::vector<OutputConfig> outputs = model.outputs();
    for (OutputConfig& output : outputs) {
        if (output.blendMap) {
            if (const auto it = relinks.find(*output.blendMap); it != relinks.end()) {
                output.blendMap = it->second;
                ++applied.outputs;
            }
        }
    }
    if (applied.outputs > 0) {
        model.editOutputs(outputs, OutputPart::blendMap, "Relink Media");
    }
    if (const auto& reference = model.backgroundImagePath()) {
        if (const auto it = relinks.find(*reference); it != relinks.end()) {
            model.setBackgroundImagePath(it->second);
            applied.reference = true;
        }
    }
    return applied;
}

} // namespace prismeta
