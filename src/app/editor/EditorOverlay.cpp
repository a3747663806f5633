#include "app/editor/EditorOverlay.h"

#include "app/ModelAdapter.h"
#include "app/editor/EditorHandles.h"
#include "app/editor/EditorView.h"
#include "core/ProjectModel.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

QPointF toQt(ViewPoint p) {
    return QPointF(p.x, p.y);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

void paintReference(QPainter& painter, ReferenceImage& reference, const ViewRect& fit,
                    double opacity, double devicePixelRatio) {
    if (!std::isfinite(opacity) || opacity <= 0.0) {
        return;
    }
    const QImage& image = reference.fitted(fit, devicePixelRatio);
    if (image.isNull()) {
        return;
    }
    painter.save();
    painter.setClipRect(QRectF(fit.x, fit.y, fit.width, fit.height));
    painter.setOpacity(std::min(opacity, 1.0));
    painter.drawImage(QPointF(fit.x, fit.y), image);
    painter.restore();
}

void paintOutline(QPainter& painter, const Surface& surface, const ViewRect& fit,
                  const QColor& accent) {
    // Corner 0 through 3 and back; a surface with fewer corners (a damaged
    // file) gets the sides whose ends exist.
    const std::size_t count = std::min<std::size_t>(surface.corners.size(), 4);
    if (count < 2) {
        return;
    }
    QPainterPath path(toQt(canvasToView(fit, surface.corners[0])));
    for (std::size_t i = 1; i < count; ++i) {
        path.lineTo(toQt(canvasToView(fit, surface.corners[i])));
    }
    if (count == 4) {
        path.closeSubpath();
    }
    QPen pen(accent, 1.5);
    // Qt measures dashes in pen widths: 6 points on, 4 off.
    pen.setDashPattern({6.0 / 1.5, 4.0 / 1.5});
    pen.setDashOffset(0.0);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(10.0);
    painter.strokePath(path, pen);
}

void paintMeshGrid(QPainter& painter, const WarpMesh& mesh, const ViewRect& fit,
                   const QColor& accent) {
    QPainterPath path;
    forEachMeshLine(mesh.cols, mesh.rows, mesh.points.size(), [&](const MeshLine& line) {
        path.moveTo(toQt(canvasToView(fit, mesh.points[line.first])));
        for (std::size_t k = 1; k < line.count; ++k) {
            path.lineTo(toQt(canvasToView(fit, mesh.points[line.first + k * line.stride])));
        }
    });
    painter.strokePath(path, QPen(withAlpha(accent, 0.4), 1.0));
}

void paintHandles(QPainter& painter, const Surface& surface, const ViewRect& fit,
                  const QColor& accent, const QRectF& area) {
    const bool meshed = surface.mesh.has_value();
    painter.setPen(QPen(Qt::white, meshed ? 1.5 : 2.0));
    painter.setBrush(meshed ? withAlpha(accent, 0.85) : accent);
    // Handles off the editor are skipped: a mesh may hold many points.
    const QRectF visible = area.adjusted(-12.0, -12.0, 12.0, 12.0);
    forEachHandle(surface, fit, [&](const EditorHandle& handle) {
        const QPointF centre = toQt(handle.center);
        if (visible.contains(centre)) {
            painter.drawEllipse(centre, handle.radius, handle.radius);
        }
    });
}

} // namespace

EditorOverlay::EditorOverlay(EditorView& view) : QWidget(&view), view_(view) {
    setObjectName(QStringLiteral("editorOverlay"));
    // The editor beneath takes every press; the canvas shows through.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

QColor EditorOverlay::accent() const {
    // The active group's colour: the handles keep their colour while another
    // window (an output) is in front.
    return palette().color(QPalette::Active, QPalette::Highlight);
}

void EditorOverlay::paintEvent(QPaintEvent* /*event*/) {
    const ViewRect fit = view_.fit();
    if (fit.isEmpty()) {
        return;
    }
    const ProjectModel& model = view_.adapter().model();
    QPainter painter(this);

    paintReference(painter, view_.referenceImage(), fit, model.backgroundOpacity(),
                   devicePixelRatioF());

    painter.setPen(QPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.15f), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(fit.x, fit.y, fit.width, fit.height));

    const auto selected = model.selectedIndex();
    if (!selected) {
        return;
    }
    const Surface& surface = model.surfaces()[*selected];
    const QColor accentColor = accent();
    painter.setRenderHint(QPainter::Antialiasing);
    paintOutline(painter, surface, fit, accentColor);
    if (surface.mesh) {
        paintMeshGrid(painter, *surface.mesh, fit, accentColor);
    }
    paintHandles(painter, surface, fit, accentColor, QRectF(rect()));
}

} // namespace prismeta
