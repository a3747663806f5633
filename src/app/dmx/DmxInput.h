#pragma once

#include "app/dmx/DmxPreferences.h"
#include "control/RateLimitedLog.h"
#include "core/Result.h"
#include "dmx/DmxReceiver.h"
#include "dmx/DmxShow.h"
#include "dmx/TimecodeChase.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace prismeta {

class LtcInput;
class ModelAdapter;
class ModelChanges;
class ShowCues;

// DMX and timecode in the application: runs the receiver and the LTC input
// (threads of their own), and carries what they bring out on the interface
// thread: the desk's levels into the show's live layer and cues (DmxShow),
// codes into the timecode chase. The threads wake this object through a
// queued call as soon as something changed, so values take effect on the
// next frame the views draw; a 60 Hz timer runs while a release fade or a
// running timecode needs it. Dropped packets are logged rate-limited
// ("Prismeta: DMX ignored ...").
//
// Interface thread only. Borrows the adapter (and its model) and the show,
// which must outlive it. Stopping (or destroying it) ends the threads first.
class DmxInput : public QObject {
    Q_OBJECT

public:
    enum class Origin { preferences, commandLine };

    DmxInput(ModelAdapter& adapter, ShowCues& show, QObject* parent = nullptr);
    ~DmxInput() override;

    // Starts listening (stopping first if running). A failure is one log
    // line ("Prismeta: DMX could not listen: ...") and returned.
    Status start(const DmxReceiverConfig& config, Origin origin = Origin::preferences);
    void stop();
    bool isRunning() const { return receiver_ != nullptr; }
    Origin origin() const { return origin_; }
    const DmxReceiver* receiver() const { return receiver_.get(); }
    // What the desk makes of the show (its master taking it dark, say).
    const DmxShow& show() const { return dmxShow_; }

    // Chases timecode from Art-Net (the running receiver's) or LTC from an
    // audio input; a failure is logged and returned.
    Status startTimecode(TimecodeSource source, const std::string& ltcInput, int freewheelFrames);
    void stopTimecode();
    bool chasing() const { return chase_ != nullptr; }

    // Every source seen in the universes in use (OSC's status).
    std::vector<DmxSourceStatus> sources() const;
    // The incoming time; none when not chasing.
    std::optional<TimecodeChase::Position> timecode() const;
    // As the Cues panel shows it: "Timecode: 01:00:05:12 at 25 fps", with
    // "(freewheeling)" or "(stopped)", or "Timecode: waiting"; empty when not
    // chasing.
    QString timecodeText() const;

    // Carries out what arrived (the threads' wake calls it; tests may too).
    void apply();

signals:
    // After each apply that changed what the views show.
    void liveChanged();

private:
    void onModelChanged(const ModelChanges& changes);
    void reportDrops();

    ModelAdapter& adapter_;
    ShowCues& show_;
    DmxShow dmxShow_;
    std::unique_ptr<DmxReceiver> receiver_;
    std::unique_ptr<TimecodeChase> chase_;
    std::unique_ptr<LtcInput> ltc_;
    TimecodeSource timecodeSource_ = TimecodeSource::artNet;
    Origin origin_ = Origin::preferences;
    RateLimitedLog log_;
    QTimer ticker_;
    QTimer logTimer_;
};

} // namespace prismeta
