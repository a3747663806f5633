#include "control/UndoBursts.h"

#include "core/ProjectModel.h"

namespace prismeta {

bool UndoBursts::beforeEdit(ProjectModel& model, const std::string& key, Clock::time_point began,
                            Clock::time_point ended) {
    if (!left_ || !model.surfaces().sharesStorageWith(*left_) || open_.size() > maxOpen) {
        open_.clear(); // something else changed the list since our last edit
    }
    std::erase_if(open_, [began](const auto& burst) { return began - burst.second >= pause; });
    const auto burst = open_.find(key);
    if (burst != open_.end()) {
        burst->second = ended;
        return false;
    }
    model.pushUndo("Remote Control");
    open_.emplace(key, ended);
    return true;
}

void UndoBursts::afterEdit(const ProjectModel& model) {
    left_ = model.surfaces();
}

} // namespace prismeta
