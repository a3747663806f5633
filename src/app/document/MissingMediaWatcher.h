#pragma once

#include "core/MediaKind.h"
#include "core/ProjectMedia.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace prismeta {

class ModelAdapter;
class ModelChanges;

// Keeps the adapter's media locations in step with the model. Whenever the
// project's media paths (the surfaces' files, the files of shader surfaces'
// image inputs, the reference picture) or its file's folder change, the paths not looked at
// yet are checked on a thread of the watcher's own, and files missing at their
// stored paths are looked for under the project's folder (a network folder
// may be slow, so never on the interface thread). What it finds is shown by
// every canvas view and the reference picture; the model is never changed and
// nothing is ever asked. Each path is checked once per project folder: a file
// put in place later shows once its path or the project's folder changes.
//
// Interface thread only; its thread touches nothing but its own queue.
// Borrows the adapter, which must outlive it.
class MissingMediaWatcher : public QObject {
    Q_OBJECT

public:
    explicit MissingMediaWatcher(ModelAdapter& adapter, QObject* parent = nullptr);
    ~MissingMediaWatcher() override; // stops its thread

    // Writes one line to the system log for each missing file, once per
    // project folder: "Prismeta: media not found: PATH", or "Prismeta: media
    // not found: PATH; showing FOUND" when it was found elsewhere; and for
    // each file there that cannot be decoded (looked at on the thread, up to
    // its first picture): "Prismeta: media cannot be decoded: PATH: REASON".
    // Off by default; the application turns it on, in the editor as in a
    // show.
    void setLogging(bool enabled) { logging_ = enabled; }

    // Whether the stored path was looked at and found nowhere.
    bool isMissing(const std::string& path) const {
        const auto found = known_.find(path);
        return found != known_.end() && found->second.state == MediaCheck::State::missing;
    }

    // Whether paths are being checked (tests wait for this to end).
    bool busy() const { return !inFlight_.empty(); }

signals:
    // A batch of checks came in (after the adapter's locations were updated).
    void checked();

private:
    struct Batch {
        std::uint64_t generation = 0;
        std::optional<std::filesystem::path> folder;
        std::vector<std::string> paths;
        std::vector<MediaKind> kinds; // per path: what it is used as
        bool decode = false;          // whether files that are there are decoded
    };
    struct Result {
        std::string path;
        MediaCheck check;
        std::optional<std::string> undecodable; // the file shown, and why not
    };

    void modelChanged(const ModelChanges& changes);
    // Works out the project's folder, on a change of the file's location
    // only; a new folder drops every answer.
    void followProjectFolder();
    // Sends the paths not looked at yet to the thread.
    void watch();
    void receive(std::uint64_t generation, std::vector<Result> results);
    void publish();
    void run();

    ModelAdapter& adapter_;
    bool logging_ = false;

    // Interface thread.
    std::optional<std::filesystem::path> folder_;
    std::uint64_t generation_ = 0;
    std::unordered_map<std::string, MediaCheck> known_;
    std::unordered_set<std::string> inFlight_;

    // Shared with the thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Batch> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace prismeta
