#include "app/document/MissingMediaWatcher.h"

#include "app/ModelAdapter.h"
#include "core/Log.h"
#include "core/MediaLocations.h"
#include "core/MediaSearch.h"
#include "media/MediaProblem.h"

#include <QMetaObject>

namespace prismeta {

namespace fs = std::filesystem;

MissingMediaWatcher::MissingMediaWatcher(ModelAdapter& adapter, QObject* parent)
    : QObject(parent), adapter_(adapter), thread_([this] { run(); }) {
    connect(&adapter_, &ModelAdapter::changed, this, &MissingMediaWatcher::modelChanged);
    followProjectFolder();
    watch();
}

MissingMediaWatcher::~MissingMediaWatcher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    thread_.join();
    // Results it posted and nobody took die with this object.
}

void MissingMediaWatcher::modelChanged(const ModelChanges& changes) {
    if (changes.has(ModelField::documentURL)) {
        followProjectFolder();
    }
    if (changes.has(ModelField::surfaces) || changes.has(ModelField::backgroundImagePath) ||
        changes.has(ModelField::outputs) || changes.has(ModelField::documentURL)) {
        watch();
    }
}

void MissingMediaWatcher::followProjectFolder() {
    std::optional<fs::path> folder = projectFolder(adapter_.model().documentURL());
    if (folder != folder_) {
        // Another project, or this one saved elsewhere: every answer is old.
        folder_ = std::move(folder);
        ++generation_;
        known_.clear();
        inFlight_.clear();
        publish();
    }
}

void MissingMediaWatcher::watch() {
    const ProjectModel& model = adapter_.model();
    // Called on every change of the surfaces (every step of a drag): looks
    // up each path and allocates only for paths not seen yet.
    Batch batch;
    const auto consider = [&](const std::string& path, MediaKind kind) {
        // A path longer than any a file system takes is never found: not
        // worth hashing on every step of a drag.
        if (path.empty() || path.size() > maxStoredPathBytes || known_.count(path) != 0 ||
            inFlight_.count(path) != 0) {
            return;
        }
        inFlight_.insert(path);
        batch.paths.push_back(path);
        batch.kinds.push_back(kind);
    };
    for (const Surface& surface : model.surfaces()) {
        if ((surface.mediaKind == MediaKind::image || surface.mediaKind == MediaKind::video ||
             surface.mediaKind == MediaKind::shader) &&
            surface.mediaPath) {
            consider(*surface.mediaPath, surface.mediaKind);
        }
    }
    for (const OutputConfig& output : model.outputs()) {
        if (output.blendMap) {
            consider(*output.blendMap, MediaKind::image); // a blend map is a still
        }
    }
    if (const auto& reference = model.backgroundImagePath()) {
        consider(*reference, MediaKind::image);
    }
    if (batch.paths.empty()) {
        return;
    }
    batch.generation = generation_;
    batch.folder = folder_;
    batch.decode = logging_;
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(batch));
    }
    wake_.notify_one();
}

void MissingMediaWatcher::run() {
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        std::vector<Result> results;
        results.reserve(batch.paths.size());
        for (std::size_t i = 0; i < batch.paths.size(); ++i) {
            MediaCheck check = checkMedia(batch.paths[i], batch.folder);
            std::optional<std::string> undecodable;
            // A shader is source text, not for FFmpeg: whether it compiles is
            // the renderer's to say.
            if (batch.decode && check.state != MediaCheck::State::missing &&
                batch.kinds[i] != MediaKind::shader) {
                const std::string shown = check.found ? check.found->string() : batch.paths[i];
                // A file that went away since the check is left to the next check.
                const auto problem = diagnoseMediaFile(shown, batch.kinds[i] == MediaKind::video);
                if (problem && problem->kind == MediaProblem::Kind::cannotDecode) {
                    undecodable = shown + ": " + problem->reason;
                }
            }
            results.push_back(
                {std::move(batch.paths[i]), std::move(check), std::move(undecodable)});
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation = batch.generation, results = std::move(results)]() mutable {
                receive(generation, std::move(results));
            },
            Qt::QueuedConnection);
    }
}

void MissingMediaWatcher::receive(std::uint64_t generation, std::vector<Result> results) {
    if (generation != generation_) {
        return; // asked about another folder
    }
    for (Result& result : results) {
        inFlight_.erase(result.path);
        if (logging_ && result.check.state == MediaCheck::State::missing) {
            logLine("Prismeta: media not found: " + result.path);
        } else if (logging_ && result.check.state == MediaCheck::State::relocated) {
            logLine("Prismeta: media not found: " + result.path + "; showing " +
                    result.check.found->string());
        }
        if (logging_ && result.undecodable) {
            logLine("Prismeta: media cannot be decoded: " + *result.undecodable);
        }
        known_.insert_or_assign(std::move(result.path), std::move(result.check));
    }
    publish();
    emit checked();
}

void MissingMediaWatcher::publish() {
    auto locations = std::make_shared<MediaLocations>();
    for (const auto& [path, check] : known_) {
        if (check.found) {
            locations->add(path, check.found->string());
        }
    }
    adapter_.setMediaLocations(std::move(locations));
}

} // namespace prismeta
