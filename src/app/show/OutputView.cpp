#include "app/show/OutputView.h"

#include "app/CanvasView.h"
#include "app/ModelAdapter.h"
#include "app/show/OutputLookup.h"
#include "app/show/WarpOverlay.h"
#include "core/ProjectModel.h"

#include <algorithm>

namespace prismeta {

OutputView::OutputView(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent)
    : LetterboxView(Qt::black, parent), adapter_(adapter), outputID_(outputID) {
    setAttribute(Qt::WA_NoSystemBackground);
    setContent(makeCanvasWidget(adapter_, resolveOutput(adapter_.model().outputs(), outputID_)));
    // Double clicks and the context menu belong to the window around the view.
    content()->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Made after the canvas, so it lies above it.
    overlay_ = new WarpOverlay(adapter_, outputID_, this);
    overlay_->setGeometry(rect());
    overlay_->raise();
    connect(&adapter_, &ModelAdapter::changed, this, &OutputView::refresh);
    refresh();
}

void OutputView::resizeEvent(QResizeEvent* event) {
    LetterboxView::resizeEvent(event);
    overlay_->setGeometry(rect());
}

CanvasView* OutputView::canvasView() const {
    return qobject_cast<CanvasView*>(content());
}

void OutputView::refresh() {
    const ProjectModel& model = adapter_.model();
    const QString previousName = QString::fromStdString(config_.name);
    const std::vector<OutputConfig>& outputs = model.outputs();
    showsFallback_ = !outputID_ || std::none_of(outputs.begin(), outputs.end(),
                                                [this](const OutputConfig& output) {
                                                    return output.id == *outputID_;
                                                });
    config_ = resolveOutput(outputs, outputID_);

    const ContentSize size = cropContentSize(model.canvasSize(), config_);
    setContentSize(size.width, size.height);
    // Editing alone changes nothing on the wall: the editor starts from the
    // letterboxed placement, and the first edit stores it as the warp.
    setFillsView(config_.warp.has_value());
    if (CanvasView* canvas = canvasView()) {
        canvas->setOutputConfig(config_);
    }
    const QString name = QString::fromStdString(config_.name);
    content()->setAccessibleName(tr("Projector output “%1”").arg(name));
    if (name != previousName) {
        emit nameChanged(name);
    }
}

} // namespace prismeta
