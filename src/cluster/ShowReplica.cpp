#include "cluster/ShowReplica.h"

#include "core/ProjectModel.h"
#include "core/RecordText.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace prismeta {

std::optional<std::string> ShowReplica::receive(std::string_view topic, std::string_view payload) {
    const std::optional<ClusterTopics::Parsed> parsed = topics_.parse(topic);
    if (!parsed) {
        return std::nullopt;
    }
    using Kind = ClusterTopics::Parsed::Kind;
    switch (parsed->kind) {
    case Kind::surface:
        return receiveSurface(parsed->id, payload);
    case Kind::output:
        return receiveOutput(parsed->id, payload);
    case Kind::cue:
        return receiveCue(parsed->id, payload);
    case Kind::project: {
        if (payload.empty()) {
            return std::nullopt; // the leader left; keep showing what it sent
        }
        Result<ProjectStateMessage> message = readProjectState(payload);
        if (!message) {
            return "project message: " + message.error();
        }
        if (!project_ || *project_ != message.value()) {
            const bool orderOfSurfaces = !project_ || project_->surfaces != message->surfaces;
            const bool orderOfOutputs = !project_ || project_->outputs != message->outputs;
            const bool orderOfCues = !project_ || project_->cues != message->cues;
            project_ = std::move(message.value());
            surfacesRebuild_ |= orderOfSurfaces;
            outputsChanged_ |= orderOfOutputs;
            cuesChanged_ |= orderOfCues;
            if (orderOfCues) {
                listedCues_.clear();
                listedCues_.insert(project_->cues.begin(), project_->cues.end());
            }
            projectChanged_ = true;
        }
        return std::nullopt;
    }
    case Kind::show: {
        if (payload.empty()) {
            return std::nullopt;
        }
        Result<ShowStateMessage> message = readShowState(payload);
        if (!message) {
            return "show message: " + message.error();
        }
        show_ = std::move(message.value());
        return std::nullopt;
    }
    case Kind::leader: {
        if (payload.empty()) {
            leader_.reset();
            return std::nullopt;
        }
        Result<LeaderClaim> claim = readLeaderClaim(payload);
        if (!claim) {
            return "leader message: " + claim.error();
        }
        leader_ = std::move(claim.value());
        return std::nullopt;
    }
    case Kind::nodeStatus:
    case Kind::clockPing:
    case Kind::clockPong:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> ShowReplica::receiveSurface(const Uuid& id, std::string_view payload) {
    if (payload.empty()) {
        surfacesRebuild_ |= surfaces_.erase(id) > 0;
        return std::nullopt;
    }
    if (payload.size() > maxRecordBytes) {
        return "surface " + id.text() + ": larger than 4 MiB";
    }
    const auto found = surfaces_.find(id);
    if (found == surfaces_.end() && surfaces_.size() >= ProjectStateMessage::maxRecords) {
        return "surface " + id.text() + ": too many surfaces";
    }
    Result<Surface> surface = readSurfaceText(payload);
    if (!surface) {
        return "surface " + id.text() + ": " + surface.error();
    }
    if (surface->id != id) {
        return "surface " + id.text() + ": its id is " + surface->id.text();
    }
    if (found == surfaces_.end()) {
        surfaces_.emplace(id, std::move(surface.value()));
        surfacesRebuild_ = true;
    } else if (found->second != surface.value()) {
        found->second = std::move(surface.value());
        changedSurfaces_.push_back(id);
    }
    return std::nullopt;
}

std::optional<std::string> ShowReplica::receiveOutput(const Uuid& id, std::string_view payload) {
    if (payload.empty()) {
        outputsChanged_ |= outputs_.erase(id) > 0;
        return std::nullopt;
    }
    if (payload.size() > maxRecordBytes) {
        return "output " + id.text() + ": larger than 4 MiB";
    }
    const auto found = outputs_.find(id);
    if (found == outputs_.end() && outputs_.size() >= ProjectStateMessage::maxRecords) {
        return "output " + id.text() + ": too many outputs";
    }
    Result<OutputConfig> output = readOutputText(payload);
    if (!output) {
        return "output " + id.text() + ": " + output.error();
    }
    if (output->id != id) {
        return "output " + id.text() + ": its id is " + output->id.text();
    }
    if (found == outputs_.end()) {
        outputs_.emplace(id, std::move(output.value()));
        outputsChanged_ = true;
    } else if (found->second != output.value()) {
        found->second = std::move(output.value());
        outputsChanged_ = true;
    }
    return std::nullopt;
}

std::optional<std::string> ShowReplica::receiveCue(const Uuid& id, std::string_view payload) {
    if (payload.empty()) {
        cuesChanged_ |= cues_.erase(id) > 0 && listedCues_.contains(id);
        return std::nullopt;
    }
    if (payload.size() > maxRecordBytes) {
        return "cue " + id.text() + ": larger than 4 MiB";
    }
    const auto found = cues_.find(id);
    if (found == cues_.end() && cues_.size() >= ProjectStateMessage::maxRecords) {
        return "cue " + id.text() + ": too many cues";
    }
    Result<Cue> cue = readCueText(payload);
    if (!cue) {
        return "cue " + id.text() + ": " + cue.error();
    }
    if (cue->id != id) {
        return "cue " + id.text() + ": its id is " + cue->id.text();
    }
    if (found == cues_.end()) {
        cues_.emplace(id, std::move(cue.value()));
        cuesArrived_ |= listedCues_.contains(id);
    } else if (found->second != cue.value()) {
        found->second = std::move(cue.value());
        cuesChanged_ |= listedCues_.contains(id);
    }
    return std::nullopt;
}

std::size_t ShowReplica::missingRecords() const {
    if (!project_) {
        return std::numeric_limits<std::size_t>::max();
    }
    const auto missing = [](const std::vector<Uuid>& listed, const auto& held) {
        return static_cast<std::size_t>(std::count_if(
            listed.begin(), listed.end(), [&](const Uuid& id) { return !held.contains(id); }));
    };
    return missing(project_->surfaces, surfaces_) + missing(project_->outputs, outputs_) +
           missing(project_->cues, cues_);
}

void ShowReplica::applyTo(ProjectModel& model) {
    if (!project_) {
        return;
    }
    if (projectChanged_) {
        const CanvasSize size{project_->canvasWidth, project_->canvasHeight};
        if (model.canvasSize() != size) {
            model.setCanvasSize(size);
        }
        if (model.backgroundImagePath() != project_->backgroundImagePath) {
            model.setBackgroundImagePath(project_->backgroundImagePath);
        }
        if (model.backgroundOpacity() != project_->backgroundOpacity) {
            model.setBackgroundOpacity(project_->backgroundOpacity);
        }
    }
    if (surfacesRebuild_ || !model.surfaces().sharesStorageWith(applied_)) {
        std::vector<Surface> list;
        list.reserve(project_->surfaces.size());
        positions_.clear();
        for (const Uuid& id : project_->surfaces) {
            if (const auto found = surfaces_.find(id); found != surfaces_.end()) {
                positions_.emplace(id, list.size());
                list.push_back(found->second);
            }
        }
        if (list != model.surfaces().vector()) {
            model.setSurfaces(std::move(list));
        }
    } else if (!changedSurfaces_.empty()) {
        std::vector<Surface> list = model.surfaces().copy();
        for (const Uuid& id : changedSurfaces_) {
            const auto position = positions_.find(id);
            const auto record = surfaces_.find(id);
            if (position != positions_.end() && record != surfaces_.end()) {
                list[position->second] = record->second;
            }
        }
        model.setSurfaces(std::move(list));
    }
    applied_ = model.surfaces();
    changedSurfaces_.clear();
    if (outputsChanged_) {
        std::vector<OutputConfig> list;
        list.reserve(project_->outputs.size());
        for (const Uuid& id : project_->outputs) {
            if (const auto found = outputs_.find(id); found != outputs_.end()) {
                list.push_back(found->second);
            }
        }
        if (list != model.outputs()) {
            model.setOutputs(std::move(list));
        }
    }
    if (cuesArrived_ && !cuesChanged_) {
        cuesChanged_ = std::all_of(project_->cues.begin(), project_->cues.end(),
                                   [this](const Uuid& id) { return cues_.contains(id); });
    }
    if (cuesChanged_) {
        std::vector<Cue> list;
        list.reserve(project_->cues.size());
        for (const Uuid& id : project_->cues) {
            if (const auto found = cues_.find(id); found != cues_.end()) {
                list.push_back(found->second);
            }
        }
        if (list != model.cues()) {
            model.setCues(std::move(list));
        }
    }
    surfacesRebuild_ = outputsChanged_ = projectChanged_ = cuesChanged_ = cuesArrived_ = false;
}

} // namespace prismeta
