#include "cues/CueEditing.h"

#include "cues/TrackedLook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace prismeta {

namespace {

// Applies edit to a copy of the list as one named undo step; false (and no
// step) when the edit declines.
template <class Edit> bool editCues(ProjectModel& model, const char* name, Edit&& edit) {
    std::vector<Cue> cues = model.cues();
    if (!edit(cues)) {
        return false;
    }
    model.pushUndo(name);
    model.setCues(std::move(cues));
    return true;
}

} // namespace

std::size_t recordCue(ProjectModel& model, std::optional<std::size_t> after, std::string name) {
    const std::size_t count = model.cues().size();
    const std::size_t at = after ? std::min(*after + 1, count) : count;
    editCues(model, "Record Cue", [&](std::vector<Cue>& cues) {
        Cue cue;
        cue.name = std::move(name);
        cue.looks = currentLooks(model.surfaces().vector());
        cues.insert(cues.begin() + static_cast<std::ptrdiff_t>(at), std::move(cue));
        return true;
    });
    return at;
}

bool updateCue(ProjectModel& model, std::size_t index) {
    return editCues(model, "Update Cue", [&](std::vector<Cue>& cues) {
        if (index >= cues.size()) {
            return false;
        }
        cues[index].looks = currentLooks(model.surfaces().vector());
        return true;
    });
}

bool deleteCue(ProjectModel& model, std::size_t index) {
    return editCues(model, "Delete Cue", [&](std::vector<Cue>& cues) {
        if (index >= cues.size()) {
            return false;
        }
        cues.erase(cues.begin() + static_cast<std::ptrdiff_t>(index));
        return true;
    });
}

bool moveCue(ProjectModel& model, std::size_t from, std::size_t to) {
    return editCues(model, "Move Cue", [&](std::vector<Cue>& cues) {
        if (from >= cues.size() || to >= cues.size() || from == to) {
            return false;
        }
        Cue moved = std::move(cues[from]);
        cues.erase(cues.begin() + static_cast<std::ptrdiff_t>(from));
        cues.insert(cues.begin() + static_cast<std::ptrdiff_t>(to), std::move(moved));
        return true;
    });
}

bool renameCue(ProjectModel& model, std::size_t index, std::string name) {
    return editCues(model, "Rename Cue", [&](std::vector<Cue>& cues) {
        if (index >= cues.size() || cues[index].name == name) {
            return false;
        }
        cues[index].name = std::move(name);
        return true;
    });
}

bool setCueFade(ProjectModel& model, std::size_t index, double seconds) {
    const double fade = std::isfinite(seconds) ? std::clamp(seconds, 0.0, maxCueFade) : 0.0;
    return editCues(model, "Cue Fade", [&](std::vector<Cue>& cues) {
        if (index >= cues.size() || cues[index].fade == fade) {
            return false;
        }
        cues[index].fade = fade;
        return true;
    });
}

bool setCueFollow(ProjectModel& model, std::size_t index, std::optional<CueFollow> follow) {
    if (follow && follow->kind == CueFollow::Kind::seconds) {
        follow->seconds = std::isfinite(follow->seconds)
                              ? std::clamp(follow->seconds, 0.0, maxCueFollowSeconds)
                              : 0.0;
    }
    return editCues(model, "Cue Follow", [&](std::vector<Cue>& cues) {
        if (index >= cues.size() || cues[index].follow == follow) {
            return false;
        }
        cues[index].follow = follow;
        return true;
    });
}

bool setCueSchedule(ProjectModel& model, std::size_t index, std::optional<CueSchedule> schedule) {
    if (schedule && (schedule->secondOfDay < 0 || schedule->secondOfDay >= 86400 ||
                     (schedule->days & CueSchedule::everyDay) == 0)) {
        return false;
    }
    return editCues(model, "Cue Schedule", [&](std::vector<Cue>& cues) {
        if (index >= cues.size() || cues[index].schedule == schedule) {
            return false;
        }
        cues[index].schedule = schedule;
        return true;
    });
}

bool setCueTimecode(ProjectModel& model, std::size_t index, std::optional<Timecode> timecode) {
    return editCues(model, "Cue Timecode", [&](std::vector<Cue>& cues) {
        if (index >= cues.size() || cues[index].timecode == timecode) {
            return false;
        }
        cues[index].timecode = timecode;
        return true;
    });
}

std::optional<std::size_t> findCue(const std::vector<Cue>& cues, std::string_view selector) {
    std::size_t number = 0;
    const auto [end, error] =
        std::from_chars(selector.data(), selector.data() + selector.size(), number);
    if (error == std::errc() && end == selector.data() + selector.size() && number >= 1 &&
        number <= cues.size()) {
        return number - 1;
    }
    for (std::size_t i = 0; i < cues.size(); ++i) {
        if (cues[i].name == selector) {
            return i;
        }
    }
    if (const std::optional<Uuid> id = Uuid::parse(selector)) {
        for (std::size_t i = 0; i < cues.size(); ++i) {
            if (cues[i].id == *id) {
                return i;
            }
        }
    }
    return std::nullopt;
}

} // namespace prismeta
