#pragma once

#include "core/MediaSearch.h"
#include "core/ProjectMedia.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace prismeta {

class ProjectModel;

// The review behind "Relink Missing Media…": the media files the project uses
// that are missing at their stored paths, where each was found, and which of
// them the user relinks. The stored paths are checked (and moved files looked
// for under the project's folder) when the session is made; the user may then
// have folders searched, each with everything below it. Both run on a thread
// of the session's own, since a large or remote folder takes its time; the
// interface polls.
//
// Made, polled and applied on the interface thread. Destroying the session
// cancels a running search and waits for it to stop.
class RelinkSession {
public:
    struct Item {
        std::string path; // as stored
        std::size_t surfaceCount = 0;
        // The first few surfaces' names, each cut to a sensible length.
        std::vector<std::string> surfaceNames;
        bool reference = false;
        // The outputs that use it as their blend map, by name (cut likewise).
        std::vector<std::string> blendMapOutputs;
        std::optional<std::filesystem::path> found;
        std::size_t ties = 0; // other files found that matched as well
        bool accepted = false;
    };

    static constexpr std::size_t namesKept = 3;
    static constexpr std::size_t nameBytesKept = 120;

    // Takes the project's media paths (no file-system access here) and starts
    // checking them.
    explicit RelinkSession(const ProjectModel& model);
    ~RelinkSession();
    RelinkSession(const RelinkSession&) = delete;
    RelinkSession& operator=(const RelinkSession&) = delete;

    // Whether a check or a search is running.
    bool busy() const { return worker_.joinable(); }
    // Whether the first check is done; items() is empty before.
    bool checked() const { return checked_; }
    // Takes in what a finished check or search found; true when it did.
    bool poll();
    // Waits for the running check or search, then polls.
    void wait();

    // The missing files, in order of first use.
    const std::vector<Item>& items() const { return items_; }
    const std::optional<std::filesystem::path>& projectFolder() const { return folder_; }
    // The folder of the last search asked for, if any.
    const std::optional<std::filesystem::path>& searchedFolder() const { return searched_; }

    // Searches folder and below for every missing file; the files it finds
    // replace earlier locations and are accepted. False (nothing started)
    // while a check or search runs or before the first check.
    bool searchFolder(const std::filesystem::path& folder);

    // Accepts or declines the relink of a found file; items not found stay
    // declined.
    void setAccepted(std::size_t index, bool accepted);
    std::size_t acceptedCount() const;

    // What apply changed.
    struct Applied {
        std::size_t paths = 0;    // stored paths replaced
        std::size_t surfaces = 0; // surfaces given a new path
        bool reference = false;   // the reference picture's path replaced
        std::size_t outputs = 0;  // outputs given a new blend map path
    };
    // Replaces every accepted stored path with the file found for it, in
    // every surface that holds it, every output's blend map and the
    // reference path. The surfaces change in one undo step, the blend maps in
    // another; the reference path, which the undo history does not cover, is
    // set directly like any other change of it.
    Applied apply(ProjectModel& model) const;

private:
    struct Outcome {
        std::vector<MediaCheck> checks;                  // from the first check
        std::vector<std::optional<FolderMatch>> matches; // from a search
    };
    void start(std::function<Outcome()> job);
    // Joins the finished worker and merges what it found.
    void takeOutcome();

    std::vector<MediaUse> uses_;
    std::vector<std::vector<std::string>> names_;
    std::vector<std::vector<std::string>> outputNames_;
    std::optional<std::filesystem::path> folder_;
    std::optional<std::filesystem::path> searched_;
    std::vector<Item> items_;
    bool checked_ = false;

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    std::optional<Outcome> outcome_; // written by the worker before done_
};

} // namespace prismeta
