#pragma once

#include "control/OscController.h"
#include "control/OscSchedule.h"
#include "control/OscServer.h"
#include "core/Result.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace prismeta {

class ModelAdapter;
class OscController;
class CueRunner;
class OscInbox;

// Remote control in the application: runs the OSC server and carries its
// messages out on the interface thread.
//
// The server's thread wakes this object through a queued call when messages
// start arriving; each turn of the event loop then carries out one batch of
// at most maxBatch messages, stopping early once batchBudget has passed, and
// leaves the rest to a zero-time timer, so that painting, input and every
// other timer get their turn between batches however fast packets come. After
// each batch, and after every change of the model from elsewhere, the
// subscribers' feedback and the log are brought up to date; a timer wakes
// for throttled feedback that is due later.
//
// Interface thread only. Borrows the adapter (and its model), which must
// outlive it. Stopping (or destroying it) ends the server's thread first.
class RemoteControl : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t maxBatch = 256;
    static constexpr std::chrono::milliseconds batchBudget{4};

    explicit RemoteControl(ModelAdapter& adapter, QObject* parent = nullptr);
    ~RemoteControl() override;

    // Where the running server's settings came from.
    enum class Origin { preferences, commandLine };

    // Starts listening (stopping first if running). A failure is logged
    // ("Prismeta: OSC could not listen on ...") and returned.
    Status start(const OscServerConfig& config, Origin origin = Origin::preferences);
    void stop();

    bool isRunning() const { return server_ != nullptr; }
    // The port and address listened on; 0 and empty when not running.
    std::uint16_t port() const;
    std::string host() const;
    Origin origin() const { return origin_; }

    // Figures for tests and benchmarks.
    std::size_t messagesHandled() const { return handled_; }
    std::size_t largestBatch() const { return largestBatch_; }
    std::size_t queueHighWater() const;
    OscController* controller() const { return controller_.get(); }
    // The show that cue and blackout messages drive (borrowed; may be null).
    void setCueRunner(CueRunner* runner);

    // Edits over OSC refused with a log line saying why (a machine that
    // follows another one's show); queries and lists are answered as ever.
    void refuseEdits(std::optional<std::string> why);
    // What DMX and timecode queries answer (OscController::ShowInputs).
    void setShowInputs(OscController::ShowInputs inputs);

signals:
    // After each batch, with the number of messages it carried out.
    void batchHandled(std::size_t count);

private:
    void drain();
    void refresh();
    void scheduleDue();
    // Holds back the messages of `batch` whose bundle time tag lies ahead.
    void holdScheduled(std::vector<OscMessage>& batch);
    // Carries out the held messages that are due and waits for the next.
    void runScheduled();

    ModelAdapter& adapter_;
    std::unique_ptr<OscInbox> inbox_;
    std::unique_ptr<OscController> controller_;
    CueRunner* cueRunner_ = nullptr;
    std::unique_ptr<OscServer> server_;
    QTimer continuation_;
    QTimer due_;
    OscSchedule schedule_;
    std::optional<std::string> editsRefused_;
    OscController::ShowInputs showInputs_;
    QTimer scheduled_;
    Origin origin_ = Origin::preferences;
    std::size_t handled_ = 0;
    std::size_t largestBatch_ = 0;
};

} // namespace prismeta
