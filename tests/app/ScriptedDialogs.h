#pragma once

#include "app/document/DocumentDialogs.h"
#include "core/ProjectCollector.h"
#include "core/RelinkSession.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

// Dialogs that answer from scripts and record what was asked. An empty
// script answers "cancel".
class ScriptedDialogs final : public prismeta::DocumentDialogs {
public:
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::deque<UnsavedChoice> unsavedAnswers;

    int openAsked = 0;
    int saveAsked = 0;
    std::vector<QString> unsavedAsked; // the document names
    struct Report {
        Failure failure;
        std::filesystem::path file;
        QString reason;
    };
    std::vector<Report> reports;

    // Relink Missing Media…: each review waits for the session's check, has
    // the script's folders searched, declines the script's rows and answers.
    struct RelinkScript {
        std::vector<std::filesystem::path> searchFolders;
        std::vector<std::size_t> decline;
        bool relink = true;
    };
    std::deque<RelinkScript> relinkAnswers; // empty: cancel
    // The rows each review showed when it answered.
    std::vector<std::vector<prismeta::RelinkSession::Item>> relinkShown;

    // Collect Project…
    std::deque<std::optional<std::filesystem::path>> collectFolderAnswers;
    std::vector<std::optional<std::filesystem::path>> collectFolderStarts;
    std::deque<ExistingFilesChoice> existingAnswers; // empty: cancel
    std::vector<std::vector<std::filesystem::path>> existingAsked;
    int progressShown = 0;
    std::vector<std::uint64_t> progressDone; // every update, in bytes
    bool cancelOnFirstProgress = false;
    std::vector<prismeta::CollectReport> collectReports;

    std::optional<std::filesystem::path> chooseProjectToOpen() override {
        ++openAsked;
        return next(openAnswers);
    }
    std::optional<std::filesystem::path> chooseSaveLocation() override {
        ++saveAsked;
        return next(saveAnswers);
    }
    UnsavedChoice askToSaveChanges(const QString& documentName) override {
        unsavedAsked.push_back(documentName);
        if (unsavedAnswers.empty()) {
            return UnsavedChoice::cancel;
        }
        const UnsavedChoice choice = unsavedAnswers.front();
        unsavedAnswers.pop_front();
        return choice;
    }
    void reportFailure(Failure failure, const std::filesystem::path& file,
                       const QString& reason) override {
        reports.push_back({failure, file, reason});
    }

    bool reviewMissingMedia(prismeta::RelinkSession& session) override {
        session.wait();
        if (relinkAnswers.empty()) {
            relinkShown.push_back(session.items());
            return false;
        }
        const RelinkScript script = relinkAnswers.front();
        relinkAnswers.pop_front();
        for (const auto& folder : script.searchFolders) {
            session.searchFolder(folder);
            session.wait();
        }
        for (const std::size_t row : script.decline) {
            session.setAccepted(row, false);
        }
        relinkShown.push_back(session.items());
        return script.relink;
    }

    std::optional<std::filesystem::path>
    chooseCollectFolder(const std::optional<std::filesystem::path>& startIn) override {
        collectFolderStarts.push_back(startIn);
        return next(collectFolderAnswers);
    }
    ExistingFilesChoice
    askToReplaceFiles(const std::vector<std::filesystem::path>& files) override {
        existingAsked.push_back(files);
        if (existingAnswers.empty()) {
            return ExistingFilesChoice::cancel;
        }
        const ExistingFilesChoice choice = existingAnswers.front();
        existingAnswers.pop_front();
        return choice;
    }
    std::unique_ptr<prismeta::TaskProgress> showProgress(const QString&) override {
        ++progressShown;
        struct Progress final : prismeta::TaskProgress {
            ScriptedDialogs* owner;
            bool cancelled = false;
            void update(std::uint64_t done, std::uint64_t, const QString&) override {
                owner->progressDone.push_back(done);
                cancelled = cancelled || owner->cancelOnFirstProgress;
            }
            bool cancelRequested() const override { return cancelled; }
        };
        auto progress = std::make_unique<Progress>();
        progress->owner = this;
        return progress;
    }
    void reportCollect(const prismeta::CollectReport& report) override {
        collectReports.push_back(report);
    }

private:
    static std::optional<std::filesystem::path>
    next(std::deque<std::optional<std::filesystem::path>>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
