#pragma once

#include "app/DocumentDialogs.h"

#include <QString>

#include <deque>
#include <filesystem>
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
