#include "app/editor/EditorOverlay.h"

#include "app/MappedLines.h"
#include "app/ModelAdapter.h"
#include "app/editor/EditorHandles.h"
#include "app/editor/EditorView.h"
#include "app/editor/MaskHandles.h"
#include "core/ProjectModel.h"
#include "geometry/PictureMapping.h"

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
    // A smooth mesh's lines are curves: each drawn through its map, eight
    // steps a cell (not for grids no one draws by hand).
    if (mesh.interpolation == WarpMesh::Interpolation::smooth && mesh.hasValidGrid() &&
        mesh.cols * mesh.rows <= 4096) {
        const PictureMap map({}, &mesh);
        const auto curve = [&](bool alongU, double fixed, std::int64_t cells) {
            const auto f = static_cast<float>(fixed);
            addMappedLine(path, map, alongU ? Pt{0, f} : Pt{f, 0}, alongU ? Pt{1, f} : Pt{f, 1},
                          static_cast<int>(8 * cells),
                          [&](Pt p) { return toQt(canvasToView(fit, p)); });
        };
        for (std::int64_t c = 0; c <= mesh.cols; ++c) {
            curve(false, static_cast<double>(c) / static_cast<double>(mesh.cols), mesh.rows);
        }
        for (std::int64_t r = 0; r <= mesh.rows; ++r) {
            curve(true, static_cast<double>(r) / static_cast<double>(mesh.rows), mesh.cols);
        }
        painter.strokePath(path, QPen(withAlpha(accent, 0.4), 1.0));
        return;
    }
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

// Output masks are drawn in their output's colour: one hue per position in
// the output list, spread around the colour wheel by the golden angle so
// neighbours differ.
QColor outputColor(std::size_t index) {
    const double hue = std::fmod(0.08 + 0.381966 * static_cast<double>(index), 1.0);
    return QColor::fromHsvF(static_cast<float>(hue), 0.85f, 1.0f);
}

void paintMask(QPainter& painter, const EditedMask& edited, const ViewRect& fit,
               const QColor& color, std::optional<std::size_t> selectedPoint, const QRectF& area) {
    QPainterPath path;
    forEachPathSample(edited, fit, [&path](ViewPoint v, bool first) {
        if (first) {
            path.moveTo(toQt(v));
        } else {
            path.lineTo(toQt(v));
        }
    });
    path.closeSubpath();
    // A dark line under the coloured one keeps the path visible on any picture.
    painter.strokePath(path, QPen(QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.6f), 3.0));
    painter.strokePath(path, QPen(color, 1.5));

    const QRectF visible = area.adjusted(-12.0, -12.0, 12.0, 12.0);
    // Handle lines from each point to its handles, then the handles and points.
    const auto& points = edited.mask->points;
    QPainterPath lines;
    forEachMaskHandle(edited, fit, [&](const MaskHandle& handle) {
        if (handle.kind == MaskHandleKind::point) {
            return;
        }
        const MaskPoint& p = points[handle.point];
        if (const auto from = maskToView(edited, fit, Pt{p.x, p.y})) {
            lines.moveTo(toQt(*from));
            lines.lineTo(toQt(handle.center));
        }
    });
    painter.strokePath(lines, QPen(withAlpha(color, 0.7), 1.0));
    forEachMaskHandle(edited, fit, [&](const MaskHandle& handle) {
        const QPointF centre = toQt(handle.center);
        if (!visible.contains(centre)) {
            return;
        }
        if (handle.kind == MaskHandleKind::point) {
            const bool selected = selectedPoint && *selectedPoint == handle.point;
            painter.setPen(QPen(selected ? Qt::white : color, 1.5));
            painter.setBrush(selected ? QBrush(color) : QBrush(QColor::fromRgbF(0, 0, 0, 0.6f)));
            const double r = maskPointRadius - 1.0;
            painter.drawRect(QRectF(centre.x() - r, centre.y() - r, 2.0 * r, 2.0 * r));
        } else {
            painter.setPen(QPen(Qt::white, 1.0));
            painter.setBrush(color);
            const double r = maskHandleRadius - 1.0;
            painter.drawEllipse(centre, r, r);
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

    const QColor accentColor = accent();
    painter.setRenderHint(QPainter::Antialiasing);
    if (const auto selected = model.selectedIndex()) {
        const Surface& surface = model.surfaces()[*selected];
        paintOutline(painter, surface, fit, accentColor);
        if (surface.mesh) {
            paintMeshGrid(painter, *surface.mesh, fit, accentColor);
        }
        paintHandles(painter, surface, fit, accentColor, QRectF(rect()));
    }

    const MaskGestures& masks = view_.interaction().masks();
    if (const std::optional<EditedMask> edited = findEditedMask(model, masks.target())) {
        const QColor color = edited->surface != nullptr ? accentColor.lighter(130)
                                                        : outputColor(edited->recordIndex);
        paintMask(painter, *edited, fit, color, masks.selectedPoint(), QRectF(rect()));
    }
}

} // namespace prismeta
