#pragma once

#include "core/Timecode.h"
#include "dmx/TimecodeRate.h"

#include <cstdint>
#include <optional>

namespace prismeta {

class CueRunner;
class ProjectModel;

// A show chasing incoming timecode (Art-Net's or LTC's): a cue with a
// timecode goes when the incoming time reaches it (the one reached last, when
// several are reached at once), as a GO does: from the cue before it with its
// fade, or to its tracked look when it is not the next. A jump, forward or
// back by more than a second, goes to the cue in force at the new time (the
// last one at or before it) with its tracked look, as a cut. Small steps back
// go nowhere.
//
// Between codes the time runs on by the steady clock; when codes stop it
// freewheels that way for a number of frames (10 unless set) and then holds,
// until codes come again.
//
// Interface thread only. Borrows the runner and the model.
class TimecodeChase {
public:
    static constexpr int defaultFreewheelFrames = 10;

    TimecodeChase(CueRunner& runner, const ProjectModel& model);

    void setFreewheelFrames(int frames);
    int freewheelFrames() const { return freewheel_; }

    // A code whose frame began at `at` (steady-clock seconds).
    void receive(const Timecode& code, TimecodeRate rate, double at);
    // Brings the time to now and runs the cues it reached.
    void tick(double now);

    enum class State : std::uint8_t { none, running, freewheeling, stopped };
    struct Position {
        State state = State::none;
        Timecode timecode;
        TimecodeRate rate = TimecodeRate::ebu25;
    };
    Position position(double now) const;
    // Whether the time still moves by itself (a host keeps ticking).
    bool moving(double now) const;

private:
    std::int64_t frameAt(double now, State& state) const;
    void runCues(std::int64_t from, std::int64_t to);
    void jumpTo(std::int64_t frame);
    // The cue (index) with the latest timecode in (from, to]; in force:
    // the latest at or before `to` when from is none.
    std::optional<std::size_t> latestCue(std::optional<std::int64_t> from, std::int64_t to) const;

    CueRunner& runner_;
    const ProjectModel& model_;
    int freewheel_ = defaultFreewheelFrames;
    bool received_ = false;
    std::int64_t codeFrame_ = 0;
    double codeAt_ = 0.0;
    TimecodeRate rate_ = TimecodeRate::ebu25;
    std::optional<std::int64_t> evaluated_; // the frame cues were last run to
};

} // namespace prismeta
