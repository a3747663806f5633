#pragma once

#include "core/MediaLocations.h"
#include "core/ModelObserver.h"
#include "core/ProjectModel.h"

#include <QObject>

#include <memory>

namespace prismeta {

// A set of ModelField values: which observable fields of the model were
// assigned since the last refresh.
class ModelChanges {
public:
    static ModelChanges all();

    void add(ModelField field) { bits_ |= bit(field); }
    void remove(ModelField field) { bits_ &= ~bit(field); }
    bool has(ModelField field) const { return (bits_ & bit(field)) != 0; }
    bool empty() const { return bits_ == 0; }
    friend bool operator==(const ModelChanges&, const ModelChanges&) = default;

private:
    static unsigned bit(ModelField field) { return 1u << static_cast<unsigned>(field); }
    unsigned bits_ = 0;
};

// The one bridge from the model's change notifications to Qt. Every
// notification is collected and delivered as one `changed` signal on the next
// turn of the event loop, so a widget never sees an operation half done (a
// load announces the canvas, surfaces, outputs and selection one by one).
// Widgets connect to `changed` and read the model; nothing polls.
//
// It also carries where the model's missing media were found, which every
// view that shows media (canvas views, the reference picture) reads: derived
// from the model, never written to it.
//
// Interface thread only. It holds a reference to the model, which must
// outlive it; the subscription ends with the adapter.
class ModelAdapter : public QObject {
    Q_OBJECT

public:
    explicit ModelAdapter(ProjectModel& model, QObject* parent = nullptr);

    ProjectModel& model() const { return model_; }

    // Delivers what is pending now instead of on the next turn (tests, and
    // callers that must see the refreshed views before returning).
    void flush();

    // Where media missing at their stored paths were found; never null.
    const std::shared_ptr<const MediaLocations>& mediaLocations() const { return mediaLocations_; }
    // Emits mediaLocationsChanged when the locations differ from the current ones.
    void setMediaLocations(std::shared_ptr<const MediaLocations> locations);

signals:
    void changed(const prismeta::ModelChanges& changes);
    void mediaLocationsChanged();

private:
    void onNotified(ModelField field);

    ProjectModel& model_;
    Subscription subscription_;
    ModelChanges pending_;
    bool scheduled_ = false;
    std::shared_ptr<const MediaLocations> mediaLocations_ = std::make_shared<MediaLocations>();
};

} // namespace prismeta
