#pragma once

#include "core/ModelObserver.h"
#include "core/ProjectModel.h"

#include <QObject>

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

signals:
    void changed(const prismeta::ModelChanges& changes);

private:
    void onNotified(ModelField field);

    ProjectModel& model_;
    Subscription subscription_;
    ModelChanges pending_;
    bool scheduled_ = false;
};

} // namespace prismeta
