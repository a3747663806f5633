#pragma once

#include "calibration/CalibrationRun.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <vector>

namespace prismeta {

class OutputWindow;
class PatternCover;

// The calibration's patterns on the output windows: while it lives, every
// window it is given is covered by a black picture of its own (the output's
// picture is not drawn meanwhile, and the pointer is hidden over it), and
// the run's shower puts each pattern on its output's cover, pixel for pixel.
// A pattern counts as shown once it is painted and `delay` has passed (the
// projector's own delay). Destroying it uncovers the windows: they show
// what they showed before.
//
// Interface thread only, except the shower, which the run calls on its
// thread: it hands each pattern to the interface thread and waits there,
// giving up on cancel, when a window is gone or changed size, and at once
// after close(). Close it, and end the run, before destroying it.
class PatternScreens : public QObject {
    Q_OBJECT

public:
    // windows[k] shows output k of the run; `others` are only kept black.
    PatternScreens(std::vector<QPointer<OutputWindow>> windows,
                   std::vector<QPointer<OutputWindow>> others, std::chrono::milliseconds delay,
                   QObject* parent = nullptr);
    ~PatternScreens() override;

    // A window's raster in device pixels: the size its patterns take.
    static QSize rasterSize(const OutputWindow& window);

    calibration::PatternShower shower();
    // No more patterns: waiting shows give up, later ones fail at once.
    void close();

    // The pattern on output k's window now (null: black), for tests.
    QImage shownOn(std::size_t k) const;

private:
    struct Handoff;
    void present(std::size_t output, const QImage& pattern, std::uint64_t ticket);
    void answer(std::uint64_t ticket, bool shown);

    std::vector<QPointer<OutputWindow>> windows_;
    std::vector<QSize> sizes_;
    std::vector<QPointer<PatternCover>> covers_; // windows_ first, then the others
    std::chrono::milliseconds delay_;
    std::shared_ptr<Handoff> handoff_;
};

} // namespace prismeta
