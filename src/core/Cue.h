#pragma once

#include "core/BoxedOptional.h"
#include "core/MediaKind.h"
#include "core/RGBA.h"
#include "core/ShaderInputValue.h"
#include "core/Timecode.h"
#include "core/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

// The longest fade and the longest timed follow a cue may hold, in seconds;
// files holding more read as these.
inline constexpr double maxCueFade = 3600.0;
inline constexpr double maxCueFollowSeconds = 86400.0;

// When a cue goes by itself on the local wall clock: a time of day and the
// weekdays it applies to (bit 0 Monday ... bit 6 Sunday).
struct CueSchedule {
    static constexpr std::uint8_t everyDay = 0x7f;
    int secondOfDay = 0; // 0 .. 86399
    std::uint8_t days = everyDay;

    bool onWeekday(int mondayBased) const { return (days >> mondayBased) & 1u; }
    friend bool operator==(const CueSchedule&, const CueSchedule&) = default;
};

// What makes the next cue go once this one has gone: a number of seconds
// after this cue's GO, or the end of the last once-playing video it started.
struct CueFollow {
    enum class Kind : std::uint8_t { seconds, videoEnd };
    Kind kind = Kind::seconds;
    double seconds = 0.0;

    friend bool operator==(const CueFollow&, const CueFollow&) = default;
};

// One surface's look in a cue: only the fields that are set change.
// Geometry never belongs to a look.
struct CueLook {
    Uuid surface;
    std::optional<double> opacity;
    std::optional<RGBA> color;
    std::optional<MediaKind> mediaKind;
    std::optional<std::string> mediaPath;
    // A shader surface's input values, as a whole: the inputs it does not
    // name go back to their defaults, as the surface key holds only values
    // that differ from them. Boxed: most looks have none.
    BoxedOptional<ShaderInputs> shaderInputs;
    // A video this look switches to starts from its first picture at the GO;
    // false keeps a running video's clock.
    bool restart = true;

    friend bool operator==(const CueLook&, const CueLook&) = default;
};

// One step of a show. A plain value, like Surface: the list of cues lives in
// the model and in the file, the running of them in src/cues.
struct Cue {
    Uuid id;
    std::string name;
    double fade = 0.0; // seconds, 0 .. maxCueFade; 0 is a cut
    std::optional<CueFollow> follow;
    std::optional<CueSchedule> schedule;
    // When the cue goes while the show chases incoming timecode.
    std::optional<Timecode> timecode;
    std::vector<CueLook> looks;

    // A cue with a new random id.
    Cue();
    explicit Cue(const Uuid& cueID) : id(cueID) {}

    friend bool operator==(const Cue&, const Cue&) = default;
};

// "HH:MM:SS" (seconds only when not zero: "18:30"); and back, also "HH:MM".
std::string scheduleTimeText(int secondOfDay);
std::optional<int> parseScheduleTime(std::string_view text);

// "mon" ... "sun", Monday first.
inline constexpr const char* weekdayNames[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

} // namespace prismeta
