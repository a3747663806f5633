#pragma once

#include "app/cluster/ClusterLead.h"
#include "cluster/ClusterFollower.h"
#include "cluster/ShowClock.h"
#include "core/ModelObserver.h"
#include "core/Uuid.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace prismeta {

class OutputWindowRegistry;
class ProjectModel;

// `prismeta --show --node NAME`: the model follows the show's leader through
// a ClusterFollower, updated once a frame by a timer of the interface
// thread, and every output whose node is NAME gets its window as soon as it
// is known (the windows go full screen on their displays as in any show).
// Interface thread only; the model and the registry must outlive it.
class ClusterFollow : public QObject {
public:
    ClusterFollow(ProjectModel& model, OutputWindowRegistry& windows, QObject* parent = nullptr);
    ~ClusterFollow() override;

    // Starts following as `node`. False, with a log line saying why, when the
    // node name, broker or topic is missing or malformed or the credentials
    // file is refused.
    bool start(const ClusterLaunch& launch, const std::string& node);

private:
    void frame();

    ProjectModel& model_;
    OutputWindowRegistry& windows_;
    SystemShowClock clock_;
    std::unique_ptr<ClusterFollower> follower_;
    std::string node_;
    std::vector<Uuid> opened_;
    Subscription subscription_;
    bool outputsChanged_ = true;
    QTimer frame_;
};

} // namespace prismeta
