#pragma once

#include <memory>

namespace prismeta {

// One load run by the process-wide loader threads (a still being decoded).
class LoaderTask {
public:
    virtual ~LoaderTask() = default;
    // On a loader thread; a cancelled task still runs, to finish at once.
    virtual void run() = 0;
    // Any thread: the task is no longer wanted.
    virtual void cancel() = 0;
};

// Queues the task for the loader threads: two, so that a second still loads
// while a large one decodes, without taking every core from video playback.
// They start with the first task and live until the process exits, when
// tasks still queued are cancelled and run out.
void submitLoad(std::shared_ptr<LoaderTask> task);

} // namespace prismeta
