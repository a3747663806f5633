#include "app/editor/EditorView.h"

#include "app/CanvasView.h"
#include "app/ModelAdapter.h"
#include "app/editor/EditorOverlay.h"
#include "core/ProjectModel.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <optional>

namespace prismeta {

namespace {

const QColor editorBackground = QColor::fromRgbF(0.08f, 0.08f, 0.08f);

ViewPoint viewPoint(const QMouseEvent* event) {
    const QPointF p = event->position();
    return ViewPoint{p.x(), p.y()};
}

std::optional<EditorInteraction::Arrow> arrowFor(int key) {
    switch (key) {
    case Qt::Key_Left:
        return EditorInteraction::Arrow::left;
    case Qt::Key_Right:
        return EditorInteraction::Arrow::right;
    case Qt::Key_Up:
        return EditorInteraction::Arrow::up;
    case Qt::Key_Down:
        return EditorInteraction::Arrow::down;
    default:
        return std::nullopt;
    }
}

} // namespace

EditorView::EditorView(ModelAdapter& adapter, QWidget* parent)
    : LetterboxView(editorBackground, parent), adapter_(adapter), interaction_(adapter.model()) {
    setObjectName(QStringLiteral("editorPane"));
    setAccessibleName(tr("Editor"));
    // Reached with Tab; a click focuses it only when it is not on a handle,
    // which the press handler decides.
    setFocusPolicy(Qt::TabFocus);

    QWidget* canvas = makeCanvasWidget(adapter_, std::nullopt);
    canvas->setAccessibleName(tr("Editor canvas"));
    canvas->setAccessibleDescription(tr("The live rendering of the whole canvas"));
    // Every press lands on the editor itself, in its own coordinates.
    canvas->setAttribute(Qt::WA_TransparentForMouseEvents);
    setContent(canvas);

    // Made after the canvas, so it lies above it.
    overlay_ = new EditorOverlay(*this);
    overlay_->setGeometry(rect());
    overlay_->raise();

    const ProjectModel& model = adapter_.model();
    setContentSize(model.canvasSize().width, model.canvasSize().height);
    reference_.setPath(referencePath());

    connect(&adapter_, &ModelAdapter::changed, this, &EditorView::refresh);
    connect(&adapter_, &ModelAdapter::mediaLocationsChanged, this,
            [this] { reference_.setPath(referencePath()); });
    connect(&reference_, &ReferenceImage::changed, overlay_, qOverload<>(&QWidget::update));
}

EditorView::~EditorView() = default;

void EditorView::refresh(const ModelChanges& changes) {
    const ProjectModel& model = adapter_.model();
    if (changes.has(ModelField::canvasSize)) {
        setContentSize(model.canvasSize().width, model.canvasSize().height);
    }
    if (changes.has(ModelField::backgroundImagePath)) {
        reference_.setPath(referencePath());
    }
    // A decode finishing between refreshes is caught here as well as on the
    // reference's own timer.
    reference_.poll();
    if (changes.has(ModelField::surfaces) || changes.has(ModelField::selectedID) ||
        changes.has(ModelField::canvasSize) || changes.has(ModelField::backgroundImagePath) ||
        changes.has(ModelField::backgroundOpacity) || changes.has(ModelField::outputs)) {
        overlay_->update();
    }
}

std::optional<std::string> EditorView::referencePath() const {
    // A picture that moved is shown from where it was found.
    const std::optional<std::string>& stored = adapter_.model().backgroundImagePath();
    if (!stored) {
        return std::nullopt;
    }
    return adapter_.mediaLocations()->resolve(*stored);
}

void EditorView::setMaskTarget(std::optional<MaskTarget> target) {
    if (target != interaction_.masks().target()) {
        interaction_.masks().setTarget(std::move(target));
        overlay_->update();
    }
}

void EditorView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool alt = event->modifiers().testFlag(Qt::AltModifier);
    const EditorInteraction::Gesture gesture = interaction_.press(viewPoint(event), fit(), alt);
    if (gesture == EditorInteraction::Gesture::body ||
        gesture == EditorInteraction::Gesture::mask) {
        // The keyboard follows: arrows nudge, Delete removes a mask point.
        setFocus(Qt::MouseFocusReason);
    }
    overlay_->update();
    event->accept();
}

void EditorView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton &&
        interaction_.masks().doubleClick(viewPoint(event), fit())) {
        event->accept();
        return;
    }
    mousePressEvent(event);
}

bool EditorView::event(QEvent* event) {
    // Delete and Backspace are menu shortcuts too (Delete Surface): while a
    // mask point is selected the editor takes them first.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) &&
            interaction_.masks().selectedPoint()) {
            event->accept();
            return true;
        }
    }
    return LetterboxView::event(event);
}

void EditorView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    interaction_.move(viewPoint(event));
    event->accept();
}

void EditorView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    interaction_.release(viewPoint(event));
    event->accept();
}

void EditorView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        interaction_.masks().removeSelectedPoint()) {
        overlay_->update();
        event->accept();
        return;
    }
    // Other modifiers are ignored: only Shift changes the step.
    const auto arrow = arrowFor(event->key());
    if (arrow &&
        interaction_.nudge(*arrow, event->modifiers().testFlag(Qt::ShiftModifier), fit())) {
        event->accept();
        return;
    }
    LetterboxView::keyPressEvent(event);
}

void EditorView::showEvent(QShowEvent* event) {
    LetterboxView::showEvent(event);
    if (!shownBefore_) {
        shownBefore_ = true;
        setFocus(Qt::OtherFocusReason);
    }
}

void EditorView::resizeEvent(QResizeEvent* event) {
    LetterboxView::resizeEvent(event);
    overlay_->setGeometry(rect());
}

} // namespace prismeta
