#include "cues/CueRunner.h"

#include "core/Log.h"
#include "cues/TrackedLook.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace prismeta {

CueRunner::CueRunner(ProjectModel& model, const ShowClock& showClock, const WallClock& wallClock)
    : model_(model), showClock_(showClock), wallClock_(wallClock) {
    subscription_ = model_.subscribe([this](ModelField field) {
        if (field == ModelField::surfaces && !going_) {
            surfacesChanged();
        }
    });
}

void CueRunner::remember(const SurfaceList& surfaces, const std::optional<Uuid>& live) {
    liveLooks_.push_back({surfaces, live});
    // Only lists that undo or redo can still bring back are kept, so these
    // hold no surfaces the history does not hold already.
    const auto held = [this](const SurfaceList& list) {
        const auto same = [&list](const SurfaceList& other) {
            return list.sharesStorageWith(other);
        };
        return same(model_.surfaces()) ||
               std::any_of(model_.undoStack().begin(), model_.undoStack().end(), same) ||
               std::any_of(model_.redoStack().begin(), model_.redoStack().end(), same);
    };
    std::erase_if(liveLooks_, [&held](const LiveLook& look) { return !held(look.surfaces); });
}

// An undo or redo that brings back a surface list a GO left or made brings
// back the cue live with it. Any other change of the surfaces (an edit, a
// file loaded) leaves the live cue as it is.
void CueRunner::surfacesChanged() {
    if (adopted_) {
        return;
    }
    const SurfaceList& surfaces = model_.surfaces();
    for (auto look = liveLooks_.rbegin(); look != liveLooks_.rend(); ++look) {
        if (!look->surfaces.sharesStorageWith(surfaces)) {
            continue;
        }
        if (look->liveCue == state_.liveCue) {
            return;
        }
        state_.liveCue = look->liveCue;
        // The look came back at once; a follow counts from now.
        state_.goTime = effectiveNow();
        state_.fade = 0.0;
        findPreload();
        if (listener_) {
            listener_();
        }
        return;
    }
}

std::optional<std::size_t> CueRunner::liveIndex() const {
    if (!state_.liveCue) {
        return std::nullopt;
    }
    const std::vector<Cue>& cues = model_.cues();
    for (std::size_t i = 0; i < cues.size(); ++i) {
        if (cues[i].id == *state_.liveCue) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> CueRunner::nextIndex() const {
    const std::size_t next = liveIndex() ? *liveIndex() + 1 : 0;
    if (next >= model_.cues().size()) {
        return std::nullopt;
    }
    return next;
}

std::optional<std::size_t> CueRunner::start(std::optional<std::size_t> cue) {
    const std::vector<Cue>& cues = model_.cues();
    const std::optional<ScheduledGo> scheduled = lastScheduledGo(cues, wallClock_.now());
    scheduleSeen_ = scheduled ? std::optional(scheduled->at) : std::nullopt;
    scheduledCues_ = model_.sharedCues();
    if (!cue && scheduled) {
        cue = scheduled->cue;
    }
    if (!cue && !cues.empty()) {
        cue = 0;
    }
    if (!cue || !goToCue(*cue, false, 0.0)) {
        return std::nullopt;
    }
    return cue;
}

bool CueRunner::go(std::optional<double> fade) {
    const std::optional<std::size_t> next = nextIndex();
    return next && goToCue(*next, true, fade);
}

bool CueRunner::back() {
    const std::optional<std::size_t> live = liveIndex();
    if (!live || *live == 0) {
        return false;
    }
    return goToCue(*live - 1, false, std::nullopt);
}

bool CueRunner::goTo(std::size_t index, std::optional<double> fade) {
    return goToCue(index, false, fade);
}

bool CueRunner::goToCue(std::size_t index, bool fromPrevious, std::optional<double> fade) {
    const std::vector<Cue>& cues = model_.cues();
    if (index >= cues.size() || adopted_) {
        return false;
    }
    const Cue& cue = cues[index];
    const double now = effectiveNow();
    const double length = std::clamp(fade.value_or(cue.fade), 0.0, maxCueFade);
    const SurfaceList before = model_.surfaces();
    std::vector<Surface> after =
        fromPrevious ? withCue(before.copy(), cue) : trackedLook(before.copy(), cues, index);
    crossfade_ = Crossfade::start(crossfade_.get(), before.vector(), after, now,
                                  std::isfinite(length) ? length : 0.0, goAhead_ > 0.0);
    const std::optional<Uuid> liveBefore = state_.liveCue;
    startVideos(before.vector(), after, cue, now);
    state_.liveCue = cue.id;
    state_.goTime = now;
    state_.fade = length;
    model_.pushUndo("Go '" + cue.name + "'");
    going_ = true;
    model_.setShowSurfaces(SurfaceList(std::move(after)));
    going_ = false;
    remember(before, liveBefore);
    remember(model_.surfaces(), state_.liveCue);
    findPreload();
    if (listener_) {
        listener_();
    }
    return true;
}

bool CueRunner::recorded(std::size_t index) {
    const std::vector<Cue>& cues = model_.cues();
    if (index >= cues.size() || adopted_) {
        return false;
    }
    state_.liveCue = cues[index].id;
    state_.goTime = effectiveNow();
    state_.fade = 0.0;
    remember(model_.surfaces(), state_.liveCue);
    findPreload();
    if (listener_) {
        listener_();
    }
    return true;
}

namespace {

bool showsVideo(const Surface& surface) {
    return surface.mediaKind == MediaKind::video && surface.mediaPath &&
           !surface.mediaPath->empty();
}

// Whether the surface's media differs from what it was.
bool mediaChanged(const Surface& was, const Surface& is) {
    return !mediaSignatureMatches(was, is.mediaKind, is.mediaPath.value_or(std::string()));
}

} // namespace

void CueRunner::startVideos(const std::vector<Surface>& before, const std::vector<Surface>& after,
                            const Cue& cue, double now) {
    endingVideos_.clear();
    endingReported_ = false;
    if (!videos_) {
        return;
    }
    // The surfaces whose video this cue names with restart on.
    std::unordered_set<Uuid> restarted;
    for (const CueLook& look : cue.looks) {
        if (look.restart && (look.mediaKind || look.mediaPath)) {
            restarted.insert(look.surface);
        }
    }
    // The looks keep the list's order and length: surface i is surface i.
    for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
        const Surface& surface = after[i];
        if (!showsVideo(surface) ||
            (!mediaChanged(before[i], surface) && !restarted.contains(surface.id))) {
            continue;
        }
        videos_->start(surface, now);
        if (surface.playback == VideoPlayback::once &&
            std::find(endingVideos_.begin(), endingVideos_.end(), *surface.mediaPath) ==
                endingVideos_.end()) {
            endingVideos_.push_back(*surface.mediaPath);
        }
    }
}

void CueRunner::findPreload() {
    auto ahead = std::make_shared<std::vector<Surface>>();
    const std::optional<std::size_t> next = nextIndex();
    if (next) {
        const SurfaceList& now = model_.surfaces();
        const std::vector<Surface> then = withCue(now.copy(), model_.cues()[*next]);
        for (std::size_t i = 0; i < then.size(); ++i) {
            const Surface& surface = then[i];
            if ((surface.mediaKind == MediaKind::image || surface.mediaKind == MediaKind::video ||
                 surface.mediaKind == MediaKind::live) &&
                mediaChanged(now[i], surface)) {
                ahead->push_back(surface);
            }
        }
    }
    preload_ = std::move(ahead);
}

std::optional<double> CueRunner::followLength() const {
    const std::optional<std::size_t> live = liveIndex();
    if (!live) {
        return std::nullopt;
    }
    const std::optional<CueFollow>& follow = model_.cues()[*live].follow;
    if (!follow) {
        return std::nullopt;
    }
    if (follow->kind != CueFollow::Kind::videoEnd) {
        return follow->seconds;
    }
    // The longest once-playing video the GO started, once every length is known.
    if (!videos_) {
        return std::nullopt;
    }
    std::optional<double> longest;
    bool unplayable = false;
    for (const std::string& path : endingVideos_) {
        const CueVideos::Length length = videos_->length(path);
        if (length.state == CueVideos::Length::State::measuring) {
            return std::nullopt;
        }
        if (length.state == CueVideos::Length::State::known) {
            longest = std::max(longest.value_or(0.0), length.seconds);
        }
        unplayable = unplayable || length.state == CueVideos::Length::State::unplayable;
    }
    // Not one of its videos plays (a missing file, one that cannot be
    // decoded): the cue follows once its fade is over, so that a show that
    // loops never stops on it.
    if (!longest && unplayable) {
        return state_.fade;
    }
    return longest;
}

void CueRunner::reportUnplayableVideos() {
    if (endingReported_ || !videos_ || endingVideos_.empty()) {
        return;
    }
    const std::optional<std::size_t> live = liveIndex();
    const Cue* cue = live ? &model_.cues()[*live] : nullptr;
    if (cue == nullptr || !cue->follow || cue->follow->kind != CueFollow::Kind::videoEnd) {
        endingReported_ = true; // no follow waits for these videos
        return;
    }
    std::string unplayable;
    bool anyPlays = false;
    for (const std::string& path : endingVideos_) {
        const CueVideos::Length length = videos_->length(path);
        if (length.state == CueVideos::Length::State::measuring) {
            return;
        }
        if (length.state == CueVideos::Length::State::unplayable) {
            unplayable += (unplayable.empty() ? "" : ", ") + path;
        } else {
            anyPlays = true;
        }
    }
    endingReported_ = true;
    if (!unplayable.empty()) {
        logLine("Prismeta: cue \"" + cue->name +
                "\" follows the end of its video, which cannot be played: " + unplayable +
                (anyPlays ? "; it follows the other videos" : "; it follows after its fade"));
    }
}

std::optional<double> CueRunner::followIn() const {
    const std::optional<double> length = followLength();
    if (!length) {
        return std::nullopt;
    }
    return std::max(0.0, state_.goTime + *length - effectiveNow());
}

void CueRunner::adopt(const ShowState& state, std::shared_ptr<const Crossfade> crossfade) {
    adopted_ = true;
    state_ = state;
    crossfade_ = std::move(crossfade);
    if (listener_) {
        listener_();
    }
}

void CueRunner::tick() {
    if (adopted_) {
        return;
    }
    reportUnplayableVideos();
    if (const std::optional<double> left = followIn(); left && *left <= 0.0) {
        // The last cue follows back to the first, for installations that loop.
        // A single cue following itself would go again on every tick.
        const std::size_t live = *liveIndex();
        if (live + 1 < model_.cues().size()) {
            goToCue(live + 1, true, std::nullopt);
        } else if (live != 0) {
            goToCue(0, false, std::nullopt);
        }
    }
    followSchedule();
}

void CueRunner::followSchedule() {
    const std::int64_t now = wallClock_.now();
    const std::optional<ScheduledGo> scheduled = lastScheduledGo(model_.cues(), now);
    const bool listChanged = scheduledCues_ != model_.sharedCues();
    scheduledCues_ = model_.sharedCues();
    if (!scheduled) {
        return;
    }
    // An edit of the cues, or the clock set back before the moment acted on
    // last, only moves the mark: the cue in force then is not gone to.
    if (listChanged || !scheduleSeen_ || now < *scheduleSeen_) {
        scheduleSeen_ = scheduled->at;
        return;
    }
    if (scheduled->at > *scheduleSeen_) {
        scheduleSeen_ = scheduled->at;
        goToCue(scheduled->cue, false, std::nullopt);
    }
}

void CueRunner::setBlackoutFade(double seconds) {
    blackoutFade_ =
        std::isfinite(seconds) ? std::clamp(seconds, 0.0, maxBlackoutFade) : defaultBlackoutFade;
}

void CueRunner::setBlackout(bool on, std::optional<double> fade) {
    if (adopted_) {
        return;
    }
    const Blackout switched =
        state_.blackout.switched(on, effectiveNow(), fade.value_or(blackoutFade_));
    if (switched == state_.blackout) {
        return;
    }
    state_.blackout = switched;
    if (listener_) {
        listener_();
    }
}

} // namespace prismeta
