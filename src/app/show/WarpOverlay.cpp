#include "app/show/WarpOverlay.h"

#include "app/MappedLines.h"
#include "app/ModelAdapter.h"
#include "core/ProjectModel.h"
#include "geometry/PictureMapping.h"

#include <QKeyEvent>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

constexpr double cornerRadius = 9.0;
constexpr double pointRadius = 5.0;
constexpr int gridDivisions = 16;
constexpr int lineSteps = 32; // each grid or mesh line as this many straight pieces

const QColor outlineColor(255, 255, 255, 160);
const QColor gridColor(0, 255, 200);
const QColor handleColor(255, 170, 0);
const QColor selectedColor(255, 60, 60);

const OutputConfig* findOutput(const ProjectModel& model, const std::optional<Uuid>& id) {
    if (!id) {
        return nullptr;
    }
    for (const OutputConfig& output : model.outputs()) {
        if (output.id == *id) {
            return &output;
        }
    }
    return nullptr;
}

} // namespace

WarpOverlay::WarpOverlay(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent)
    : QWidget(parent), adapter_(adapter), outputID_(outputID) {
    setObjectName(QStringLiteral("warpOverlay"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    if (outputID_) {
        editing_.emplace(adapter_.model(), *outputID_);
        editing_->setRasterSize(width(), height());
    }
    connect(&adapter_, &ModelAdapter::changed, this, &WarpOverlay::refresh);
    refresh(ModelChanges::all());
}

bool WarpOverlay::editing() const {
    return outputID_ && findOutput(adapter_.model(), outputID_) != nullptr &&
           adapter_.model().warpEditing(*outputID_);
}

bool WarpOverlay::showsGrid() const {
    return outputID_ && findOutput(adapter_.model(), outputID_) != nullptr &&
           adapter_.model().warpGrid(*outputID_);
}

void WarpOverlay::refresh(const ModelChanges& changes) {
    if (!changes.has(ModelField::outputs) && !changes.has(ModelField::blendTest)) {
        return;
    }
    const bool edits = editing();
    const bool wasEditing = editingShown_;
    editingShown_ = edits;
    setAttribute(Qt::WA_TransparentForMouseEvents, !edits);
    setVisible(edits || showsGrid());
    if (edits && !wasEditing) {
        // The pointer shows over the handles even where the window hides it
        // (full screen), and the keys come here without a click first.
        setCursor(Qt::CrossCursor);
        setFocus(Qt::OtherFocusReason);
    } else if (!edits && wasEditing) {
        unsetCursor();
        if (editing_) {
            editing_->release();
            editing_->endNudges();
        }
        if (hasFocus() && parentWidget() != nullptr) {
            parentWidget()->window()->setFocus(Qt::OtherFocusReason);
        }
    }
    update();
}

QRectF WarpOverlay::rasterRect() const {
    // The window is the projector's raster, warped or not: an unwarped
    // output's letterboxed picture is its placement on it.
    return QRectF(rect());
}

void WarpOverlay::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (editing_) {
        editing_->setRasterSize(width(), height());
    }
}

QPointF WarpOverlay::toView(Pt raster) const {
    const QRectF r = rasterRect();
    return QPointF(r.x() + raster.x * r.width(), r.y() + raster.y * r.height());
}

Pt WarpOverlay::toRaster(QPointF view) const {
    const QRectF r = rasterRect();
    return Pt{static_cast<float>((view.x() - r.x()) / std::max(1.0, r.width())),
              static_cast<float>((view.y() - r.y()) / std::max(1.0, r.height()))};
}

void WarpOverlay::paintEvent(QPaintEvent*) {
    const OutputConfig* output = findOutput(adapter_.model(), outputID_);
    if (output == nullptr) {
        return;
    }
    // Without a warp, where the picture is drawn (letterboxed): the grid lies
    // on it and the handles start on its corners.
    const OutputWarp warp = editing_ ? editing_->warp().value_or(OutputWarp{}) : OutputWarp{};
    const WarpMesh* mesh = warp.mesh && warp.mesh->hasValidGrid() ? &*warp.mesh : nullptr;
    // A crop point (0..1) as the warp puts it in the view.
    const PictureMap map(warp.corners, mesh);
    // A line of the crop, from (u0, v0) to (u1, v1), bent as the warp bends it.
    const auto cropLine = [&](QPainterPath& path, double u0, double v0, double u1, double v1) {
        addMappedLine(path, map, Pt{static_cast<float>(u0), static_cast<float>(v0)},
                      Pt{static_cast<float>(u1), static_cast<float>(v1)}, lineSteps,
                      [&](Pt p) { return toView(p); });
    };

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    if (showsGrid() && output->cropWidth > 0 && output->cropHeight > 0 &&
        std::isfinite(output->cropWidth) && std::isfinite(output->cropHeight)) {
        // Lines every 1/16 of the crop, at canvas positions counted from the
        // canvas's origin.
        QPainterPath grid;
        const double stepX = output->cropWidth / gridDivisions;
        const double stepY = output->cropHeight / gridDivisions;
        for (double x = std::ceil(output->cropX / stepX - 1e-6) * stepX;
             x <= output->cropX + output->cropWidth + 1e-9; x += stepX) {
            const double u = (x - output->cropX) / output->cropWidth;
            cropLine(grid, u, 0, u, 1);
        }
        for (double y = std::ceil(output->cropY / stepY - 1e-6) * stepY;
             y <= output->cropY + output->cropHeight + 1e-9; y += stepY) {
            const double v = (y - output->cropY) / output->cropHeight;
            cropLine(grid, 0, v, 1, v);
        }
        painter.setPen(QPen(gridColor, 1.0));
        painter.drawPath(grid);
    }

    if (!editing()) {
        return;
    }
    // The raster's own edge, then the picture's outline and mesh lines.
    painter.setPen(QPen(outlineColor, 1.0, Qt::DashLine));
    painter.drawRect(rasterRect().adjusted(0.5, 0.5, -0.5, -0.5));
    QPainterPath outline;
    const int cols = mesh ? static_cast<int>(std::min<std::int64_t>(mesh->cols, 256)) : 1;
    const int rows = mesh ? static_cast<int>(std::min<std::int64_t>(mesh->rows, 256)) : 1;
    for (int c = 0; c <= cols; ++c) {
        cropLine(outline, static_cast<double>(c) / cols, 0, static_cast<double>(c) / cols, 1);
    }
    for (int r = 0; r <= rows; ++r) {
        cropLine(outline, 0, static_cast<double>(r) / rows, 1, static_cast<double>(r) / rows);
    }
    painter.setPen(QPen(outlineColor, 1.0));
    painter.drawPath(outline);

    // Handles: mesh points under the corners. A disc kept inside the view
    // points at its handle with a short line.
    const std::optional<std::size_t> selected = editing_ ? editing_->selected() : std::nullopt;
    const std::size_t count = editing_ ? editing_->handleCount() : 0;
    for (std::size_t h = count; h-- > 0;) {
        const std::size_t drawn = h < 4 ? 3 - h : h; // mesh points first, then corners 0 to 3
        const std::optional<Pt> at = editing_->handle(drawn);
        if (!at) {
            continue;
        }
        const QPointF point = toView(*at);
        const QPointF disc = discCentre(drawn).value_or(point);
        const double radius = WarpEditing::isCorner(drawn) ? cornerRadius : pointRadius;
        if (disc != point) {
            painter.setPen(QPen(selected == drawn ? selectedColor : handleColor, 1.5));
            painter.drawLine(disc, point);
        }
        painter.setPen(QPen(Qt::black, 1.5));
        painter.setBrush(selected == drawn ? selectedColor : handleColor);
        painter.drawEllipse(disc, radius, radius);
    }
}

std::optional<QPointF> WarpOverlay::discCentre(std::size_t h) const {
    const std::optional<Pt> at = editing_ ? editing_->handle(h) : std::nullopt;
    if (!at) {
        return std::nullopt;
    }
    // Whole inside the view: a corner on the raster's corner (where every
    // warp starts) or beyond its edge still shows, and is grabbed, whole.
    const double radius = (WarpEditing::isCorner(h) ? cornerRadius : pointRadius) + 1.0;
    const QPointF point = toView(*at);
    const auto keep = [radius](double v, double size) {
        return size > 2 * radius ? std::clamp(v, radius, size - radius) : size / 2;
    };
    return QPointF(keep(point.x(), width()), keep(point.y(), height()));
}

void WarpOverlay::mousePressEvent(QMouseEvent* event) {
    if (!editing() || !editing_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const double radius = cornerRadius + 2.0;
    const QRectF raster = rasterRect();
    editing_->endNudges();
    const Pt at = toRaster(event->position());
    if (!editing_->press(at, raster.width(), raster.height(), radius)) {
        // A disc drawn away from its handle (kept inside the view): corners
        // first, as they are drawn on top.
        for (std::size_t h = 0; h < editing_->handleCount(); ++h) {
            const std::optional<QPointF> disc = discCentre(h);
            if (disc && QLineF(*disc, event->position()).length() <= radius) {
                editing_->grab(h, at);
                break;
            }
        }
    }
    update();
    event->accept();
}

void WarpOverlay::mouseMoveEvent(QMouseEvent* event) {
    if (editing_ && editing_->dragging() && (event->buttons() & Qt::LeftButton)) {
        editing_->drag(toRaster(event->position()));
        event->accept();
        return;
    }
    event->ignore();
}

void WarpOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (editing_ && event->button() == Qt::LeftButton) {
        editing_->release();
    }
    event->ignore();
}

void WarpOverlay::mouseDoubleClickEvent(QMouseEvent* event) {
    // Full screen belongs to the window around the picture.
    event->ignore();
}

bool WarpOverlay::event(QEvent* event) {
    // Tab selects the next handle (Shift+Tab the one before) instead of
    // moving the keyboard focus away from the handles.
    if (event->type() == QEvent::KeyPress && editing() && editing_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
            editing_->selectNext();
            update();
            return true;
        }
        if (key->key() == Qt::Key_Backtab) {
            editing_->selectPrevious();
            update();
            return true;
        }
    }
    return QWidget::event(event);
}

void WarpOverlay::focusOutEvent(QFocusEvent* event) {
    // Nudges after working elsewhere are a step of their own.
    if (editing_) {
        editing_->endNudges();
    }
    QWidget::focusOutEvent(event);
}

void WarpOverlay::keyPressEvent(QKeyEvent* event) {
    if (!editing() || !editing_) {
        event->ignore();
        return;
    }
    // One raster pixel is one device pixel of the picture.
    const double ratio = devicePixelRatioF();
    const QRectF raster = rasterRect();
    const float step = event->modifiers().testFlag(Qt::ShiftModifier) ? 10.0f : 1.0f;
    const float dx = step / static_cast<float>(std::max(1.0, raster.width() * ratio));
    const float dy = step / static_cast<float>(std::max(1.0, raster.height() * ratio));
    bool moved = false;
    switch (event->key()) {
    case Qt::Key_Left:
        moved = editing_->nudge(-dx, 0);
        break;
    case Qt::Key_Right:
        moved = editing_->nudge(dx, 0);
        break;
    case Qt::Key_Up:
        moved = editing_->nudge(0, -dy);
        break;
    case Qt::Key_Down:
        moved = editing_->nudge(0, dy);
        break;
    default:
        event->ignore();
        return;
    }
    event->setAccepted(moved);
}

} // namespace prismeta
