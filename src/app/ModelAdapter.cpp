#include "app/ModelAdapter.h"

#include <QMetaObject>

namespace prismeta {

ModelChanges ModelChanges::all() {
    ModelChanges changes;
    for (ModelField field : {ModelField::surfaces, ModelField::selectedID, ModelField::canvasSize,
                             ModelField::documentURL, ModelField::outputs,
                             ModelField::backgroundImagePath, ModelField::backgroundOpacity,
                             ModelField::snapEnabled, ModelField::blendTest, ModelField::cues}) {
        changes.add(field);
    }
    return changes;
}

ModelAdapter::ModelAdapter(ProjectModel& model, QObject* parent) : QObject(parent), model_(model) {
    subscription_ = model_.subscribe([this](ModelField field) { onNotified(field); });
}

void ModelAdapter::onNotified(ModelField field) {
    pending_.add(field);
    if (scheduled_) {
        return;
    }
    scheduled_ = true;
    // Queued on this object: if the adapter dies first, the call is dropped.
    QMetaObject::invokeMethod(this, &ModelAdapter::flush, Qt::QueuedConnection);
}

void ModelAdapter::flush() {
    scheduled_ = false;
    if (pending_.empty()) {
        return;
    }
    const ModelChanges changes = pending_;
    pending_ = ModelChanges();
    emit changed(changes);
}

void ModelAdapter::setMediaLocations(std::shared_ptr<const MediaLocations> locations) {
    if (!locations) {
        locations = std::make_shared<MediaLocations>();
    }
    if (*locations == *mediaLocations_) {
        return;
    }
    mediaLocations_ = std::move(locations);
    emit mediaLocationsChanged();
}

} // namespace prismeta
