#pragma once

#include "control/FeedbackThrottle.h"
#include "control/ModelFeed.h"
#include "control/OscFields.h"
#include "control/OscInbox.h"
#include "control/OscMessage.h"
#include "control/OscShaderInputs.h"
#include "control/OscWarpFields.h"
#include "control/RateLimitedLog.h"
#include "control/UndoBursts.h"
#include "core/LiveSource.h"
#include "core/Uuid.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

class ProjectModel;
class CueRunner;

// Carries out OSC messages on the model, on the interface thread: the
// address space of docs/osc.md.
//
// Edits go through the model's own operations with the inspector's ranges,
// so every view, output window and the unsaved-changes state follow as they
// do for the inspector. Edits of the surface list are undone in bursts (see
// UndoBursts); outputs, the selection and the snap flag are not part of the
// undo history, for remote control as for the inspector. Nothing here opens,
// saves or deletes a file.
//
// Queries and lists are answered to the sender; subscribers get every change
// of the model, whatever made it, through a FeedbackThrottle. Everything
// sent to one destination, answers and feedback together, is capped at
// replyBudget messages a second: a query may match every surface and opening
// a large show changes every field, and each message is sent from the
// interface thread. Whatever is not carried out or not sent is reported
// through a RateLimitedLog, with the reason.
//
// Interface thread only. Borrows the model, which must outlive it; sends
// through the function it is given.
class OscController {
public:
    using Clock = std::chrono::steady_clock;
    using Send = std::function<void(const OscOutgoing&)>;
    static constexpr std::size_t maxSubscribers = 16;
    static constexpr std::size_t replyBudget = 2'000;

    OscController(ProjectModel& model, Send send,
                  RateLimitedLog::Clock::duration logWindow = RateLimitedLog::defaultWindow);
    OscController(const OscController&) = delete;
    OscController& operator=(const OscController&) = delete;

    // Carries out one message. `now` is the interface thread's clock; undo
    // bursts are timed by when the message arrived.
    void handle(const OscMessage& message, Clock::time_point now);
    // Carries out messages in order, skipping an edit that the very next
    // message overwrites anyway (the same address and type tags, finite
    // numbers, less than an undo pause later): the model and its undo history
    // end as they would after every message, with one write instead of many
    // when a fader floods. Returns how many were skipped.
    std::size_t handleBatch(std::span<const OscMessage> messages, Clock::time_point now);

    // Sends the feedback of model changes, the throttled feedback and the log
    // summaries that are due. Call after each batch of messages, after every
    // change of the model from elsewhere, and at nextDue().
    void update(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;

    // Problems found before messages reached this thread, for the log.
    void reportUnreadable(std::uint64_t packets, Clock::time_point now);
    void reportOversize(std::uint64_t messages, Clock::time_point now);
    void reportDropped(const OscInbox::Drops& drops, Clock::time_point now);

    const std::vector<OscEndpoint>& subscribers() const { return subscribers_; }

    // The show whose cues and blackout "/prismeta/cue/..." and
    // "/prismeta/blackout" drive (borrowed; null: none, and those addresses
    // are refused). Its live cue goes to subscribers as it changes.
    void setCueRunner(CueRunner* runner);
    // While set, every message that would change the model (an edit, undo,
    // redo) is refused with a log line saying why (rate-limited as other
    // ignored input); queries, lists and subscriptions are answered as ever.
    // A machine that follows another one's show sets it: only the leader edits.
    void refuseEdits(std::optional<std::string> why) { editsRefused_ = std::move(why); }
    // How a live surface's source is doing, for "/prismeta/surface/<target>/live/status"
    // (none: its source is not open here, which answers "waiting").
    using LiveStatusOf = std::function<std::optional<LiveStatus>(const Surface&)>;
    void setLiveStatus(LiveStatusOf status) { liveStatus_ = std::move(status); }

    // What the show's other inputs say when asked: "/prismeta/dmx/status"
    // answers one argument list per DMX source seen (universe, protocol,
    // name, priority, packets per second), "/prismeta/timecode" the incoming
    // time (none: not chasing). Unset: no DMX input, no timecode.
    struct ShowInputs {
        std::function<std::vector<OscArguments>()> dmxSources;
        std::function<std::optional<OscArguments>()> timecode;
    };
    void setShowInputs(ShowInputs inputs) { showInputs_ = std::move(inputs); }

private:
    using Parts = std::span<const std::string_view>;

    void handleOne(const OscMessage& message, Clock::time_point now,
                   std::optional<Clock::time_point> runStart);
    void ignore(std::string_view kind, const OscMessage& message, const std::string& why,
                Clock::time_point now);
    void reply(const OscEndpoint& to, std::string address, OscArguments arguments,
               Clock::time_point now);
    // Whether one more message may go to `to` this second (counted if so).
    bool spend(const OscEndpoint& to, Clock::time_point now);

    // Answers a query of `fields` of the records at `targets` to its sender;
    // `more(record, name)` adds a record's answers that are not fields.
    template <typename Records, typename Record, typename More>
    void answer(const OscMessage& message, std::string_view kind, std::string_view target,
                const Records& records, const std::vector<std::size_t>& targets,
                const std::vector<const OscField<Record>*>& fields, Clock::time_point now,
                More more);

    // The positions of the records `target` names, or none after one log
    // line when the pattern is malformed or matches no record of `kind`.
    template <typename Records>
    std::optional<std::vector<std::size_t>>
    findTargets(const Records& records, std::string_view target, std::string_view kind,
                const OscMessage& message, Clock::time_point now);
    // Puts edited surfaces into the model as an inspector edit: edits with
    // the same undo key in a run of messages make one undo step.
    void commitSurfaces(std::vector<Surface> edited, const std::string& undoKey,
                        const OscMessage& message, Clock::time_point now);

    void handleSurface(const OscMessage& message, Parts parts, Clock::time_point now);
    void handleOutput(const OscMessage& message, Parts parts, Clock::time_point now);
    // ".../mask/<n>/..." of surfaces (isOutput false) or outputs.
    void handleMask(const OscMessage& message, Parts parts, bool isOutput, Clock::time_point now);
    // ".../output/<target>/warp/point/<k>" and ".../warp/reset" (OscWarpFields.h).
    void handleWarp(const OscMessage& message, std::string_view target, WarpAddress address,
                    std::size_t point, Clock::time_point now);
    // "/prismeta/surface/<target>/input/<name>" (OscShaderInputs.h).
    void handleShaderInput(const OscMessage& message, std::string_view target,
                           std::string_view input, Clock::time_point now);
    // "/prismeta/surface/<target>/live/status": answered, never set.
    void handleLiveStatus(const OscMessage& message, std::string_view target,
                          Clock::time_point now);
    void handleSnap(const OscMessage& message, Clock::time_point now);
    void handleHistory(const OscMessage& message, bool undo, Clock::time_point now);
    void handleQuery(const OscMessage& message, Clock::time_point now);
    void handleList(const OscMessage& message, std::string_view what, Clock::time_point now);
    void handleSubscription(const OscMessage& message, bool subscribe, Clock::time_point now);
    void handleCue(const OscMessage& message, Parts parts, Clock::time_point now);
    void handleBlackout(const OscMessage& message, Clock::time_point now);
    // "/prismeta/dmx/status" and "/prismeta/timecode", answered to the sender.
    void handleInputStatus(const OscMessage& message, bool dmx, Clock::time_point now);
    void feedCue(Clock::time_point now);

    ProjectModel& model_;
    Send send_;
    RateLimitedLog log_;
    UndoBursts undoBursts_;
    ModelFeed feed_;
    FeedbackThrottle throttle_;
    std::vector<OscEndpoint> subscribers_;
    // While carrying out the last edit of a run: when the run began.
    std::optional<Clock::time_point> runStart_;
    CueRunner* cueRunner_ = nullptr;
    std::optional<Uuid> fedCue_; // the live cue subscribers were last told of
    std::optional<std::string> editsRefused_;
    ShowInputs showInputs_;
    LiveStatusOf liveStatus_;

    struct Budget {
        Clock::time_point opened;
        std::size_t sent = 0;
    };
    std::map<OscEndpoint, Budget> budgets_;
    Clock::time_point lastUpdate_{};
    ShaderHeaders shaderHeaders_;
};

} // namespace prismeta
