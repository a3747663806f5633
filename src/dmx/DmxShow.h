#pragma once

#include "core/DmxSettings.h"
#include "core/Uuid.h"
#include "dmx/FixtureLayout.h"
#include "dmx/UniverseMerge.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace prismeta {

class CueRunner;
class CueVideos;
class LiveLayer;
class ProjectModel;
struct Surface;

// What a lighting desk's levels do to the show: the project's patched
// surfaces (Prismeta Surface fixtures) and its show fixture read from the
// universes they are patched in, written into the live layer, and the show
// fixture's GO and blackout carried out through the cue runner, as GO and
// blackout from the editor or OSC are.
//
// Surface fixture: intensity multiplies the opacity and red, green and blue
// the picture; media picks an entry of the project's media list; playback
// plays the video as set, once or looping from its first picture (started
// on entering the range, or with new media), or holds its picture (and
// resumes from it); the shader channel sets the first float input of a
// shader surface across its range. Show fixture: master multiplies every
// output; GO rising through half goes to the cue the cue channel names (the
// next cue when it is 0) with that cue's fade; blackout follows the channel
// crossing half. A GO takes a level seen below half first, so a desk that
// comes online with GO held up fires nothing.
//
// When every source of a universe is lost, its fixtures hold their values or
// release to the project's look over the loss fade, as the project says;
// the show fixture's GO and blackout wait for live levels again. A fixture
// that does not fit its universe is left out (with a log line).
//
// Interface thread only. Borrows the model and the layer (and the runner
// and the videos, when given), which must outlive it.
class DmxShow {
public:
    DmxShow(const ProjectModel& model, LiveLayer& layer);
    ~DmxShow(); // takes its entries out of the layer
    DmxShow(const DmxShow&) = delete;
    DmxShow& operator=(const DmxShow&) = delete;

    void setCueRunner(CueRunner* runner) { runner_ = runner; }
    void setVideos(CueVideos* videos) { videos_ = videos; }

    // The universes the project's fixtures use, ascending.
    const std::vector<int>& universes() const { return universeNumbers_; }
    // After every change of the model (patches, surfaces, the media list).
    void modelChanged();
    // Reads the universes and applies what changed. True when the live
    // layer changed.
    bool apply(const UniverseSource& source, double now);
    // Whether a release fade is still running at now.
    bool fading(double now) const;
    // The show fixture's master is at 0: every output is black. Logged once
    // each time it goes so and once when it comes back.
    bool masterDark() const { return masterDark_; }
    // Where the show fixture is patched; none without one.
    std::optional<DmxPatch> showPatch() const {
        return show_ ? std::optional(show_->patch) : std::nullopt;
    }

private:
    struct UniverseState {
        int universe = 0;
        bool received = false;
        UniverseLevels levels;
        std::uint64_t applied = ~std::uint64_t{0}; // levels.changes last applied
        bool due = true;                           // its fixtures are applied this time
    };
    struct SurfaceFixture {
        Uuid surface;
        std::size_t position = 0; // in the model's surfaces, as of modelChanged()
        DmxPatch patch;
        std::size_t universe = 0; // index into universes_
        bool active = false;      // has an entry in the layer
        int media = 0;
        LivePlayback playback = LivePlayback::asSet;
        bool lookStale = true;
        double pausedAt = 0.0;
    };
    struct ShowFixture {
        DmxPatch patch;
        std::size_t universe = 0;
        std::optional<std::uint8_t> lastGo;
        bool blackoutHigh = false;
    };

    // How much of the universe's levels count: 1 live (or held), falling to
    // 0 over a release fade, 0 when silent.
    double weight(const UniverseState& universe, double now) const;
    bool applySurface(SurfaceFixture& fixture, const UniverseState& universe, double now);
    bool applyShow(ShowFixture& fixture, const UniverseState& universe, double now);
    const Surface* modelSurface(const SurfaceFixture& fixture) const;
    // Sets the layer's master, saying when it takes the show dark or brings
    // it back.
    void setMaster(float master, const DmxPatch& patch);
    std::size_t universeIndex(int universe) const;

    const ProjectModel& model_;
    LiveLayer& layer_;
    CueRunner* runner_ = nullptr;
    CueVideos* videos_ = nullptr;
    DmxSettings settings_;
    std::vector<int> universeNumbers_;
    std::vector<UniverseState> universes_;
    std::vector<SurfaceFixture> surfaces_;
    std::optional<ShowFixture> show_;
    bool dirty_ = true;
    bool masterDark_ = false;
    // The patches last logged as not fitting, so a drag does not repeat them.
    std::vector<std::pair<Uuid, DmxPatch>> unfitLogged_;
};

} // namespace prismeta
