#include "app/document/MediaCommands.h"

#include "app/document/DocumentDialogs.h"
#include "core/ProjectCollector.h"
#include "core/ProjectMedia.h"
#include "core/ProjectModel.h"
#include "core/RelinkSession.h"
#include "isf/IsfCompanions.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>

namespace prismeta {

namespace {

constexpr int progressIntervalMs = 50;

// What the copying thread and the interface share.
struct CollectRun {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::mutex mutex;
    CollectProgress progress; // under mutex
    CollectReport report;     // written before done
};

QString progressLabel(const CollectProgress& progress) {
    if (progress.current.empty()) {
        return QObject::tr("Writing the project file…");
    }
    return QObject::tr("Copying “%1” (%2 of %3)…")
        .arg(QString::fromStdString(progress.current))
        .arg(progress.filesDone + 1)
        .arg(progress.files);
}

} // namespace

MediaCommands::MediaCommands(ProjectModel& model, DocumentDialogs& dialogs)
    : model_(model), dialogs_(dialogs) {}

bool MediaCommands::relinkMissingMedia() {
    RelinkSession session(model_);
    if (!dialogs_.reviewMissingMedia(session)) {
        return false;
    }
    // The dialog may have returned while a search still ran.
    session.wait();
    return session.apply(model_).paths > 0;
}

bool MediaCommands::collectProject() {
    const std::optional<std::filesystem::path> folder =
        dialogs_.chooseCollectFolder(projectFolder(model_.documentURL()));
    if (!folder) {
        return false;
    }
    // The project as it is now; editing on meanwhile changes nothing of the copy.
    const ProjectFile project = model_.makeFile();
    const std::optional<std::filesystem::path> documentURL = model_.documentURL();
    CollectPlan plan = planCollect(project, documentURL, *folder, ExistingTarget::replace);
    if (plan.taken.empty()) {
        // Nothing to replace, so nothing that appears meanwhile is replaced.
        plan.existing = ExistingTarget::keep;
    } else {
        switch (dialogs_.askToReplaceFiles(plan.taken)) {
        case DocumentDialogs::ExistingFilesChoice::replace:
            break;
        case DocumentDialogs::ExistingFilesChoice::keepBoth:
            plan = planCollect(project, documentURL, *folder, ExistingTarget::keep);
            break;
        case DocumentDialogs::ExistingFilesChoice::cancel:
            return false;
        }
    }

    // A shader brings its vertex stage and imported images along.
    plan.shaderCompanions = isfCompanions;
    auto run = std::make_shared<CollectRun>();
    std::thread worker([plan = std::move(plan), run] {
        CollectReport report = prismeta::collectProject(
            plan,
            [&run](const CollectProgress& progress) {
                const std::lock_guard lock(run->mutex);
                run->progress = progress;
            },
            &run->cancel);
        run->report = std::move(report);
        run->done.store(true, std::memory_order_release);
    });

    // The interface stays live (and every output keeps playing) while the
    // files are copied; the progress dialog is modal.
    {
        const std::unique_ptr<TaskProgress> progress =
            dialogs_.showProgress(QObject::tr("Collect Project"));
        QEventLoop loop;
        QTimer timer;
        timer.setInterval(progressIntervalMs);
        const auto refresh = [&] {
            CollectProgress now;
            {
                const std::lock_guard lock(run->mutex);
                now = run->progress;
            }
            if (progress) {
                progress->update(now.bytesDone, now.bytesTotal, progressLabel(now));
                if (progress->cancelRequested()) {
                    run->cancel.store(true);
                }
            }
            if (run->done.load(std::memory_order_acquire)) {
                loop.quit();
            }
        };
        QObject::connect(&timer, &QTimer::timeout, &loop, refresh);
        timer.start();
        refresh();
        if (!run->done.load(std::memory_order_acquire)) {
            loop.exec();
        }
    }
    worker.join();
    dialogs_.reportCollect(run->report);
    return run->report.projectWritten;
}

} // namespace prismeta
