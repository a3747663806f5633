#include "dmx/DmxShow.h"

#include "core/Log.h"
#include "core/ProjectModel.h"
#include "cues/CueRunner.h"
#include "cues/CueVideos.h"
#include "cues/LiveLayer.h"

#include <algorithm>

namespace prismeta {

namespace {

float toward(float value, float neutral, double weight) {
    return neutral + (value - neutral) * static_cast<float>(weight);
}

bool restartsVideo(LivePlayback playback) {
    return playback == LivePlayback::onceFromStart || playback == LivePlayback::loopFromStart;
}

} // namespace

DmxShow::DmxShow(const ProjectModel& model, LiveLayer& layer) : model_(model), layer_(layer) {
    modelChanged();
}

DmxShow::~DmxShow() {
    for (const SurfaceFixture& fixture : surfaces_) {
        layer_.erase(fixture.surface);
    }
    if (show_) {
        layer_.setMaster(1.0f);
    }
}

std::size_t DmxShow::universeIndex(int universe) const {
    return static_cast<std::size_t>(
        std::lower_bound(universeNumbers_.begin(), universeNumbers_.end(), universe) -
        universeNumbers_.begin());
}

void DmxShow::modelChanged() {
    settings_ = model_.dmx().value_or(DmxSettings{});
    std::vector<std::pair<Uuid, DmxPatch>> unfit;
    std::vector<SurfaceFixture> surfaces;
    const SurfaceList& list = model_.surfaces();
    for (std::size_t position = 0; position < list.size(); ++position) {
        const Surface& surface = list[position];
        if (!surface.dmx) {
            continue;
        }
        if (!fitsUniverse(*surface.dmx, surfaceChannel::count)) {
            unfit.emplace_back(surface.id, *surface.dmx);
            continue;
        }
        SurfaceFixture fixture;
        fixture.surface = surface.id;
        fixture.patch = *surface.dmx;
        // A fixture that stays keeps what it was showing.
        for (const SurfaceFixture& old : surfaces_) {
            if (old.surface == surface.id && old.patch == fixture.patch) {
                fixture = old;
                break;
            }
        }
        fixture.position = position;
        fixture.lookStale = true;
        surfaces.push_back(fixture);
    }
    std::optional<ShowFixture> show;
    if (settings_.master) {
        if (fitsUniverse(*settings_.master, showChannel::count)) {
            if (show_ && show_->patch == *settings_.master) {
                show = *show_;
            } else {
                show.emplace();
                show->patch = *settings_.master;
            }
        } else {
            unfit.emplace_back(Uuid(), *settings_.master);
        }
    }
    if (unfit != unfitLogged_) {
        for (const auto& [id, patch] : unfit) {
            if (std::find(unfitLogged_.begin(), unfitLogged_.end(), std::pair{id, patch}) ==
                unfitLogged_.end()) {
                logLine("Prismeta: DMX: a fixture at universe " + std::to_string(patch.universe) +
                        ", address " + std::to_string(patch.address) +
                        " does not fit in the universe's 512 channels and is not driven");
            }
        }
        unfitLogged_ = std::move(unfit);
    }
    // Surfaces no longer driven go back to the project's look.
    for (const SurfaceFixture& old : surfaces_) {
        if (old.active && std::none_of(surfaces.begin(), surfaces.end(), [&](const auto& f) {
                return f.surface == old.surface && f.active;
            })) {
            layer_.erase(old.surface);
        }
    }
    if (show_ && !show) {
        setMaster(1.0f, show_->patch);
    }

    std::vector<int> numbers;
    for (const SurfaceFixture& fixture : surfaces) {
        numbers.push_back(fixture.patch.universe);
    }
    if (show) {
        numbers.push_back(show->patch.universe);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::vector<UniverseState> states;
    for (int number : numbers) {
        UniverseState state;
        state.universe = number;
        for (const UniverseState& old : universes_) {
            if (old.universe == number) {
                state = old;
            }
        }
        state.applied = ~std::uint64_t{0};
        states.push_back(state);
    }
    universeNumbers_ = std::move(numbers);
    universes_ = std::move(states);
    for (SurfaceFixture& fixture : surfaces) {
        fixture.universe = universeIndex(fixture.patch.universe);
    }
    if (show) {
        show->universe = universeIndex(show->patch.universe);
    }
    surfaces_ = std::move(surfaces);
    show_ = std::move(show);
    dirty_ = true;
}

double DmxShow::weight(const UniverseState& universe, double now) const {
    if (!universe.received) {
        return 0.0;
    }
    switch (universe.levels.state) {
    case UniverseLevels::State::silent:
        return 0.0;
    case UniverseLevels::State::live:
        return 1.0;
    case UniverseLevels::State::lost:
        break;
    }
    if (settings_.lossOrDefault() == DmxLoss::hold) {
        return 1.0;
    }
    const double fade = settings_.lossFadeOrDefault();
    if (fade <= 0.0) {
        return 0.0;
    }
    return 1.0 - std::clamp((now - universe.levels.lostAt) / fade, 0.0, 1.0);
}

bool DmxShow::fading(double now) const {
    if (settings_.lossOrDefault() != DmxLoss::release) {
        return false;
    }
    return std::any_of(universes_.begin(), universes_.end(), [&](const UniverseState& u) {
        const double w = weight(u, now);
        return u.received && u.levels.state == UniverseLevels::State::lost && w > 0.0;
    });
}

const Surface* DmxShow::modelSurface(const SurfaceFixture& fixture) const {
    const SurfaceList& surfaces = model_.surfaces();
    return fixture.position < surfaces.size() && surfaces[fixture.position].id == fixture.surface
               ? &surfaces[fixture.position]
               : nullptr;
}

bool DmxShow::apply(const UniverseSource& source, double now) {
    const std::uint64_t before = layer_.version();
    for (UniverseState& universe : universes_) {
        const bool was = universe.received;
        universe.received = source.read(universe.universe, universe.levels);
        const bool releasing = universe.received &&
                               universe.levels.state == UniverseLevels::State::lost &&
                               settings_.lossOrDefault() == DmxLoss::release;
        universe.due = dirty_ || releasing || was != universe.received ||
                       universe.levels.changes != universe.applied;
        universe.applied = universe.levels.changes;
    }
    for (SurfaceFixture& fixture : surfaces_) {
        if (universes_[fixture.universe].due) {
            applySurface(fixture, universes_[fixture.universe], now);
        }
    }
    if (show_ && universes_[show_->universe].due) {
        applyShow(*show_, universes_[show_->universe], now);
    }
    dirty_ = false;
    return layer_.version() != before;
}

void DmxShow::setMaster(float master, const DmxPatch& patch) {
    layer_.setMaster(master);
    const bool dark = master <= 0.0f;
    if (dark == masterDark_) {
        return;
    }
    masterDark_ = dark;
    const std::string where = "(universe " + std::to_string(patch.universe) + ", address " +
                              std::to_string(patch.address) + ")";
    logLine(dark ? "Prismeta: DMX: the show fixture's master " + where +
                       " is at 0: every output is black until the desk brings it up"
                 : "Prismeta: DMX: the show fixture's master " + where +
                       " is up again: the outputs show");
}

bool DmxShow::applySurface(SurfaceFixture& fixture, const UniverseState& universe, double now) {
    const double w = weight(universe, now);
    if (w <= 0.0) {
        if (fixture.active) {
            layer_.erase(fixture.surface);
        }
        // Silent: the next values come as new.
        fixture.active = false;
        fixture.media = 0;
        fixture.playback = LivePlayback::asSet;
        fixture.lookStale = true;
        return true;
    }
    const Surface* surface = modelSurface(fixture);
    if (surface == nullptr) {
        return false;
    }
    const SurfaceFixtureValues values =
        surfaceFixtureValues(universe.levels.levels, fixture.patch.address);
    // Switches take effect while the desk's levels count for more than half.
    int media = w >= 0.5 ? values.media : 0;
    if (media > static_cast<int>(settings_.media.size()) ||
        (media > 0 && !settings_.media[static_cast<std::size_t>(media - 1)].mediaKind)) {
        media = 0;
    }
    const LivePlayback playback = w >= 0.5 ? values.playback : LivePlayback::asSet;

    LiveLook& look = layer_.at(fixture.surface);
    fixture.active = true;
    bool changed = false;
    const auto update = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    update(look.intensity, toward(values.intensity, 1.0f, w));
    update(look.tint,
           std::array<float, 3>{toward(values.tint[0], 1.0f, w), toward(values.tint[1], 1.0f, w),
                                toward(values.tint[2], 1.0f, w)});
    update(look.shaderValue, values.shader);
    update(look.shaderWeight, static_cast<float>(w));

    const bool newMedia = media != fixture.media;
    const bool newPlayback = restartsVideo(playback) != restartsVideo(fixture.playback) ||
                             (restartsVideo(playback) && playback != fixture.playback);
    if (newMedia || newPlayback || fixture.lookStale) {
        // The surface as it shows: a copy made only when the choice (or the
        // model) changes, never per frame.
        if (media == 0 && !restartsVideo(playback)) {
            if (look.look) {
                look.look.reset();
                changed = true;
            }
        } else {
            Surface shown = *surface;
            if (media > 0) {
                const DmxMedia& entry = settings_.media[static_cast<std::size_t>(media - 1)];
                shown.mediaKind = *entry.mediaKind;
                shown.mediaPath = entry.mediaPath;
            }
            if (restartsVideo(playback)) {
                shown.playback = playback == LivePlayback::onceFromStart ? VideoPlayback::once
                                                                         : VideoPlayback::loop;
            }
            if (look.look != shown) {
                look.look = std::move(shown);
                changed = true;
            }
        }
        fixture.lookStale = false;
    }
    const Surface& effective = look.look ? *look.look : *surface;
    const bool isVideo = effective.mediaKind == MediaKind::video;
    const bool paused = playback == LivePlayback::pause;
    const bool wasPaused = fixture.playback == LivePlayback::pause;
    if (videos_ != nullptr && isVideo) {
        if (restartsVideo(playback) && (newMedia || newPlayback)) {
            videos_->start(effective, now);
        } else if (wasPaused && !paused) {
            // Resumes from the picture it held.
            if (const std::optional<double> start = videos_->startOf(effective)) {
                videos_->start(effective, *start + (now - fixture.pausedAt));
            }
        }
    }
    if (paused && !wasPaused) {
        fixture.pausedAt = now;
    }
    update(look.paused, paused);
    fixture.media = media;
    fixture.playback = playback;
    if (changed) {
        layer_.markChanged();
    }
    return changed;
}

bool DmxShow::applyShow(ShowFixture& fixture, const UniverseState& universe, double now) {
    const double w = weight(universe, now);
    if (w <= 0.0) {
        setMaster(1.0f, fixture.patch);
        fixture.lastGo.reset();
        fixture.blackoutHigh = false;
        return true;
    }
    const ShowFixtureValues values =
        showFixtureValues(universe.levels.levels, fixture.patch.address);
    setMaster(toward(values.master, 1.0f, w), fixture.patch);
    if (universe.levels.state != UniverseLevels::State::live) {
        // Lost: nothing is triggered until the desk is back.
        fixture.lastGo.reset();
        fixture.blackoutHigh = false;
        return true;
    }
    if (runner_ == nullptr || runner_->adopted()) {
        return true;
    }
    if (fixture.lastGo && !atLeastHalf(*fixture.lastGo) && atLeastHalf(values.go)) {
        const std::size_t count = model_.cues().size();
        if (values.cue == 0) {
            runner_->go();
        } else if (static_cast<std::size_t>(values.cue) <= count) {
            runner_->goTo(static_cast<std::size_t>(values.cue - 1));
        } else {
            logLine("Prismeta: DMX GO to cue " + std::to_string(values.cue) + ": the show has " +
                    std::to_string(count) + (count == 1 ? " cue" : " cues"));
        }
    }
    fixture.lastGo = values.go;
    const bool high = atLeastHalf(values.blackout);
    if (high != fixture.blackoutHigh) {
        fixture.blackoutHigh = high;
        runner_->setBlackout(high);
    }
    return true;
}

} // namespace prismeta
