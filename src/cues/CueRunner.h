#pragma once

// Runs a project's cues: GO, Back, Go To, the show's start, follows and
// schedules, and the blackout. A GO applies the cue's looks to the model's
// surfaces on screen at once, as one undo step named after the cue ("Go
// 'Opening'"), and starts a Crossfade that renderers draw over the cue's
// fade. The document keeps its own surfaces (ProjectModel::setShowSurfaces):
// running a show never leaves the project with unsaved changes.
//
// Going to a cue in any other way than GO from the cue before it (Go To,
// Back, a schedule, the show's start, a follow from the last cue back to the
// first) applies its tracked look (TrackedLook.h).
//
// Every GO starts the videos it switches surfaces to, and those its cue's
// looks name with restart (the default), from their first picture at the GO
// time; a look with restart off keeps a running video's clock. A follow on
// "end" goes when the last once-playing video the GO started has shown its
// last picture (lengths from CueVideos; videos that cannot be played do not
// count, and where none of them plays the cue follows after its fade, with a
// line naming the files).
//
// Main thread only, like the model it borrows (which must outlive it). The
// clocks and the videos are borrowed too. tick() runs follows and schedules: call it on
// every frame, or from a timer, for as long as the show runs.
//
// Undo and redo of a GO bring back the live cue of the look they bring back:
// the runner remembers which surface list each GO left and made, and when
// the model's surfaces become one of them again, that GO's cue (or the one
// before it) is live again, as a cut from then on.

#include "core/ProjectModel.h"
#include "cues/Crossfade.h"
#include "cues/CueVideos.h"
#include "cues/Schedule.h"
#include "cues/ShowClock.h"
#include "cues/ShowState.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

class CueRunner {
public:
    CueRunner(ProjectModel& model, const ShowClock& showClock, const WallClock& wallClock);

    // The show's first look: the given cue, otherwise the cue the schedule
    // puts in force now (the one whose scheduled time passed last within the
    // past seven days), otherwise the first cue, otherwise nothing (the
    // project's look). Cut, whatever the cue's fade. Returns the cue gone to.
    std::optional<std::size_t> start(std::optional<std::size_t> cue = std::nullopt);

    // GO on the next cue (the first when none is live). fade, when given,
    // replaces the cue's. False when there is no next cue.
    bool go(std::optional<double> fade = std::nullopt);
    // To the cue before the live one, its tracked look, with its fade.
    bool back();
    // To any cue, its tracked look. False when index is past the end.
    bool goTo(std::size_t index, std::optional<double> fade = std::nullopt);

    // The cue at index was just recorded from what is on screen: it becomes
    // the live cue without a GO (nothing changes on screen and no undo step
    // is taken), so the next one is recorded after it and GO goes on from it.
    bool recorded(std::size_t index);

    // Follows and schedules due at the clocks' times.
    void tick();

    // Blackout on or off, fading over fade seconds (the blackout fade when
    // none is given) from the level on screen.
    void setBlackout(bool on, std::optional<double> fade = std::nullopt);
    // The fade of a blackout switched without one: defaultBlackoutFade unless
    // set (clamped to 0..maxBlackoutFade).
    void setBlackoutFade(double seconds);
    double blackoutFade() const { return blackoutFade_; }

    // The live cue's position in the cue list as it is now; none when no cue
    // is live or the live one was deleted.
    std::optional<std::size_t> liveIndex() const;
    // The cue GO would go to.
    std::optional<std::size_t> nextIndex() const;
    const ShowState& state() const { return state_; }
    const ShowClock& showClock() const { return showClock_; }
    const WallClock& wallClock() const { return wallClock_; }
    // What renderers draw the fade with; null before the first GO.
    const std::shared_ptr<const Crossfade>& crossfade() const { return crossfade_; }
    // The stills, videos and live sources the next cue switches surfaces to, as those
    // surfaces will look: renderers open and decode them ahead, so the GO
    // shows them on its first frame. Made again after every GO; never null.
    const std::shared_ptr<const std::vector<Surface>>& preload() const { return preload_; }
    // Seconds until the live cue's follow, if it has one: a timed one, or
    // one on the end of its videos once their lengths are known.
    std::optional<double> followIn() const;
    // The live cue's follow as a whole: seconds from its GO (for one on the
    // end of its videos, once their lengths are known).
    std::optional<double> followLength() const;

    // The media layer's side of starting videos and knowing their lengths;
    // none (the default) starts nothing and follows no video's end.
    void setVideos(const std::shared_ptr<CueVideos>& videos) { videos_ = videos; }

    // GOs and blackout switches take effect this many seconds after the
    // show clock's now (0 by default): a show on many machines publishes
    // them ahead, so that every machine starts them on its frame for that
    // moment.
    void setGoAhead(double seconds) { goAhead_ = seconds > 0.0 ? seconds : 0.0; }

    // Shows what another machine decided (the leader of a show on many
    // machines): its live cue, fade and blackout, drawn with its crossfade.
    // The model is left alone, and from then on this runner neither runs
    // follows and schedules nor goes anywhere itself.
    void adopt(const ShowState& state, std::shared_ptr<const Crossfade> crossfade);
    bool adopted() const { return adopted_; }

    // Called after every change of the live cue (and of the blackout).
    void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

private:
    bool goToCue(std::size_t index, bool fromPrevious, std::optional<double> fade);
    void findPreload();
    void startVideos(const std::vector<Surface>& before, const std::vector<Surface>& after,
                     const Cue& cue, double now);
    void followSchedule();
    // Once the lengths are in: one line for the videos of the live cue's
    // follow on their end that cannot be played.
    void reportUnplayableVideos();
    void remember(const SurfaceList& surfaces, const std::optional<Uuid>& live);
    void surfacesChanged();

    ProjectModel& model_;
    const ShowClock& showClock_;
    const WallClock& wallClock_;
    // When a GO or blackout switch made now takes effect.
    double effectiveNow() const { return showClock_.now() + goAhead_; }

    ShowState state_;
    double goAhead_ = 0.0;
    bool adopted_ = false;
    std::shared_ptr<const Crossfade> crossfade_;
    std::shared_ptr<const std::vector<Surface>> preload_ =
        std::make_shared<const std::vector<Surface>>();
    std::function<void()> listener_;
    std::shared_ptr<CueVideos> videos_;
    // The once-playing videos the live cue's GO started: a follow on "end"
    // waits for the longest.
    std::vector<std::string> endingVideos_;
    bool endingReported_ = false;
    // The newest scheduled moment acted on (or passed by) and the cue list it
    // was found in: a schedule goes only when a newer moment comes.
    std::optional<std::int64_t> scheduleSeen_;
    std::shared_ptr<const std::vector<Cue>> scheduledCues_;
    double blackoutFade_ = defaultBlackoutFade;

    // The surface lists GOs left and made, with the cue live while each was
    // the model's, newest last; as many as the undo history can bring back.
    struct LiveLook {
        SurfaceList surfaces;
        std::optional<Uuid> liveCue;
    };
    std::deque<LiveLook> liveLooks_;
    bool going_ = false;
    Subscription subscription_;
};

} // namespace prismeta
