#include "app/inspector/WarpGroup.h"

#include "app/CanvasView.h"
#include "app/MappedLines.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/FocusedWheel.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorStyle.h"
#include "app/show/OutputWindow.h"
#include "core/ProjectModel.h"
#include "geometry/OutputWarpEdits.h"
#include "geometry/PictureMapping.h"
#include "geometry/UnwarpedPlacement.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace prismeta {

namespace {

constexpr int meshCountMaximum = 64;

// The projector's raster: the display the output's window goes to, else the
// size its window opens at.
std::pair<int, int> rasterOf(const OutputConfig& output) {
    if (isUsable(output.display)) {
        return {output.display->geometry.width, output.display->geometry.height};
    }
    return {OutputWindow::defaultWidth, OutputWindow::defaultHeight};
}

// The warp an output is drawn through on its raster: its own, else its
// letterboxed placement, which the warp editor starts from.
OutputWarp drawnWarp(const OutputConfig& output, CanvasSize canvas) {
    const auto [width, height] = rasterOf(output);
    return prismeta::drawnWarp(output, canvas.width, canvas.height, width, height);
}

// Draws the preview's outlines over its picture.
class PreviewOutline final : public QWidget {
public:
    explicit PreviewOutline(WarpPreview& preview) : QWidget(&preview), preview_(preview) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    WarpPreview& preview_;
};

void PreviewOutline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF raster = preview_.rasterRect();
    painter.setPen(QPen(QColor(128, 128, 128), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(raster.adjusted(-0.5, -0.5, 0.5, 0.5));

    const OutputWarp& warp = preview_.warp();
    const WarpMesh* mesh = warp.mesh && warp.mesh->hasValidGrid() ? &*warp.mesh : nullptr;
    const int cols = mesh ? static_cast<int>(std::min<std::int64_t>(mesh->cols, 64)) : 1;
    const int rows = mesh ? static_cast<int>(std::min<std::int64_t>(mesh->rows, 64)) : 1;
    QPainterPath lines;
    const PictureMap map(warp.corners, mesh);
    const auto line = [&](double u0, double v0, double u1, double v1) {
        addMappedLine(lines, map, Pt{static_cast<float>(u0), static_cast<float>(v0)},
                      Pt{static_cast<float>(u1), static_cast<float>(v1)}, 16, [&](Pt p) {
                          return QPointF(raster.x() + p.x * raster.width(),
                                         raster.y() + p.y * raster.height());
                      });
    };
    for (int c = 0; c <= cols; ++c) {
        line(static_cast<double>(c) / cols, 0, static_cast<double>(c) / cols, 1);
    }
    for (int r = 0; r <= rows; ++r) {
        line(0, static_cast<double>(r) / rows, 1, static_cast<double>(r) / rows);
    }
    QColor orange(255, 170, 0);
    orange.setAlphaF(0.8f);
    painter.setPen(QPen(orange, 1.0));
    painter.drawPath(lines);
}

} // namespace

WarpGroup::WarpGroup(ProjectModel& model, InspectorDialogs* dialogs, const OutputConfig& output,
                     QWidget* parent)
    : QWidget(parent), model_(model), dialogs_(dialogs), id_(output.id) {
    setObjectName(QStringLiteral("warpGroup"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* switches = new QHBoxLayout;
    switches->setSpacing(8);
    switches->addWidget(makeLabel(tr("Warp"), TextStyle::smallCaption, Tone::secondary, this));
    edit_ = new QCheckBox(tr("Edit Warp"), this);
    edit_->setObjectName(QStringLiteral("editWarpBox"));
    edit_->setAccessibleName(tr("Edit Warp"));
    edit_->setToolTip(tr("Show the warp's handles in this output's window, on the projector"));
    grid_ = new QCheckBox(tr("Grid"), this);
    grid_->setObjectName(QStringLiteral("warpGridBox"));
    grid_->setAccessibleName(tr("Warp Grid"));
    grid_->setToolTip(tr("Show a line every 1/16 of the crop in this output's window"));
    for (QCheckBox* box : {edit_, grid_}) {
        applyTextStyle(box, TextStyle::smallCaption, Tone::secondary);
        switches->addWidget(box);
    }
    switches->addStretch(1);
    column->addLayout(switches);

    // The preview the card's width (the picture as the projector shows
    // it, large enough to judge), Reset and Remove Mesh, then the mesh's
    // counts and Add Mesh on a row of their own: narrow enough for the
    // panel's least width.
    auto* body = new QHBoxLayout;
    body->setSpacing(8);
    preview_ = new WarpPreview(this);
    preview_->setObjectName(QStringLiteral("warpPreview"));
    column->addWidget(preview_);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    reset_ = new QPushButton(tr("Reset Warp"), this);
    reset_->setObjectName(QStringLiteral("resetWarpButton"));
    reset_->setAccessibleName(tr("Reset Warp"));
    buttons->addWidget(reset_);
    removeMesh_ = new QPushButton(tr("Remove Mesh"), this);
    removeMesh_->setObjectName(QStringLiteral("removeWarpMeshButton"));
    removeMesh_->setAccessibleName(tr("Remove Mesh"));
    buttons->addWidget(removeMesh_);
    smooth_ = new QCheckBox(tr("Smooth"), this);
    smooth_->setObjectName(QStringLiteral("smoothWarpMeshBox"));
    smooth_->setAccessibleName(tr("Smooth Mesh"));
    smooth_->setToolTip(tr("One smooth curve through every mesh point; off, each cell is "
                           "pinned by its own four corners"));
    buttons->addWidget(smooth_);
    buttons->addStretch(1);
    body->addLayout(buttons, 1);
    column->addLayout(body);

    auto* meshRow = new QHBoxLayout;
    meshRow->setSpacing(4);
    columns_ = new QSpinBox(this);
    columns_->setObjectName(QStringLiteral("warpColumnsBox"));
    rows_ = new QSpinBox(this);
    rows_->setObjectName(QStringLiteral("warpRowsBox"));
    for (auto [box, name] :
         {std::pair{columns_, tr("Mesh columns")}, std::pair{rows_, tr("Mesh rows")}}) {
        box->setRange(1, meshCountMaximum);
        box->setAccessibleName(name);
        takeWheelOnlyWhenFocused(box);
        // The text field inside is what assistive technology lands on.
        for (QLineEdit* text : box->findChildren<QLineEdit*>()) {
            text->setAccessibleName(name);
        }
    }
    columns_->setValue(4);
    rows_->setValue(3);
    addMesh_ = new QPushButton(tr("Add Mesh"), this);
    addMesh_->setObjectName(QStringLiteral("addWarpMeshButton"));
    addMesh_->setAccessibleName(tr("Add Mesh"));
    addMesh_->setToolTip(tr("A mesh of columns × rows over the warp's current shape"));
    meshRow->addWidget(columns_);
    meshRow->addWidget(
        makeLabel(QStringLiteral("×"), TextStyle::smallCaption, Tone::tertiary, this));
    meshRow->addWidget(rows_);
    meshRow->addStretch(1);
    meshRow->addWidget(addMesh_);
    column->addLayout(meshRow);

    auto* mapRow = new QHBoxLayout;
    mapRow->setSpacing(4);
    mapRow->addWidget(makeLabel(tr("Blend Map"), TextStyle::smallCaption, Tone::secondary, this));
    mapName_ = new ElidedLabel(Qt::ElideMiddle, this);
    mapName_->setObjectName(QStringLiteral("blendMapName"));
    applyTextStyle(mapName_, TextStyle::smallCaption, Tone::tertiary);
    mapRow->addWidget(mapName_, 1);
    chooseMap_ = new QPushButton(tr("Choose…"), this);
    chooseMap_->setObjectName(QStringLiteral("chooseBlendMapButton"));
    chooseMap_->setAccessibleName(tr("Choose Blend Map"));
    chooseMap_->setToolTip(tr("A greyscale image over the crop: the share of the light this "
                              "projector gives (white all, black none)"));
    chooseMap_->setEnabled(dialogs_ != nullptr);
    clearMap_ = new QToolButton(this);
    clearMap_->setObjectName(QStringLiteral("clearBlendMapButton"));
    clearMap_->setText(QStringLiteral("×"));
    clearMap_->setAccessibleName(tr("No blend map"));
    clearMap_->setToolTip(tr("No blend map"));
    clearMap_->setAutoRaise(true);
    mapRow->addWidget(chooseMap_);
    mapRow->addWidget(clearMap_);
    column->addLayout(mapRow);

    connect(edit_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setWarpEditing(id_, on);
        if (on) {
            emit windowWanted(id_);
        }
    });
    connect(grid_, &QCheckBox::clicked, this, [this](bool on) {
        model_.setWarpGrid(id_, on);
        if (on) {
            emit windowWanted(id_);
        }
    });
    connect(reset_, &QPushButton::clicked, this,
            [this] { model_.setOutputWarp(id_, std::nullopt, "Reset Warp"); });
    connect(addMesh_, &QPushButton::clicked, this, [this] {
        const OutputConfig* o = currentOutput();
        if (o == nullptr) {
            return;
        }
        // Over the picture where it is drawn: an unwarped output's mesh
        // starts on its letterboxed placement, so nothing moves.
        if (auto meshed = warpWithMesh(drawnWarp(*o, model_.canvasSize()), columns_->value(),
                                       rows_->value())) {
            model_.setOutputWarp(id_, std::move(*meshed), "Add Mesh");
        }
    });
    connect(smooth_, &QCheckBox::clicked, this, [this](bool on) {
        const OutputConfig* o = currentOutput();
        if (o != nullptr && o->warp && o->warp->mesh) {
            OutputWarp switched = *o->warp;
            switched.mesh->interpolation =
                on ? WarpMesh::Interpolation::smooth : WarpMesh::Interpolation::cells;
            model_.setOutputWarp(id_, std::move(switched), on ? "Smooth Mesh" : "Mesh Cells");
        }
    });
    connect(removeMesh_, &QPushButton::clicked, this, [this] {
        const OutputConfig* o = currentOutput();
        if (o != nullptr && o->warp && o->warp->mesh) {
            OutputWarp plain = *o->warp;
            plain.mesh.reset();
            model_.setOutputWarp(id_, std::move(plain), "Remove Mesh");
        }
    });
    connect(chooseMap_, &QPushButton::clicked, this, [this] {
        if (dialogs_ == nullptr) {
            return;
        }
        if (std::optional<std::string> path = dialogs_->chooseFile(MediaFileType::image)) {
            model_.setOutputBlendMap(id_, std::move(*path), "Choose Blend Map");
        }
    });
    connect(clearMap_, &QToolButton::clicked, this,
            [this] { model_.setOutputBlendMap(id_, std::nullopt, "No Blend Map"); });

    showOutput(output, model_.warpEditing(id_), model_.warpGrid(id_));
}

const OutputConfig* WarpGroup::currentOutput() const {
    for (const OutputConfig& o : model_.outputs()) {
        if (o.id == id_) {
            return &o;
        }
    }
    return nullptr;
}

void WarpGroup::showOutput(const OutputConfig& output, bool editing, bool grid) {
    for (const auto& [box, on] : {std::pair{edit_, editing}, std::pair{grid_, grid}}) {
        if (box->isChecked() != on) {
            const QSignalBlocker blocker(box);
            box->setChecked(on);
        }
    }
    const auto [rasterWidth, rasterHeight] = rasterOf(output);
    preview_->showOutput(output, drawnWarp(output, model_.canvasSize()), rasterWidth, rasterHeight);
    reset_->setEnabled(output.warp.has_value());
    removeMesh_->setEnabled(output.warp && output.warp->mesh);
    smooth_->setEnabled(output.warp && output.warp->mesh);
    {
        const QSignalBlocker blocker(smooth_);
        smooth_->setChecked(output.warp && output.warp->mesh &&
                            output.warp->mesh->interpolation == WarpMesh::Interpolation::smooth);
    }
    if (output.warp && output.warp->mesh) {
        const QSignalBlocker c(columns_);
        const QSignalBlocker r(rows_);
        columns_->setValue(static_cast<int>(
            std::clamp<std::int64_t>(output.warp->mesh->cols, 1, meshCountMaximum)));
        rows_->setValue(static_cast<int>(
            std::clamp<std::int64_t>(output.warp->mesh->rows, 1, meshCountMaximum)));
    }
    const QString path = output.blendMap ? QString::fromStdString(*output.blendMap) : QString();
    mapName_->setFullText(path.isEmpty() ? tr("None") : QFileInfo(path).fileName());
    mapName_->setToolTip(path);
    clearMap_->setEnabled(!path.isEmpty());
}

void WarpGroup::setModelAdapter(ModelAdapter* adapter) {
    preview_->setModelAdapter(adapter);
}

namespace {

constexpr int previewMargin = 8; // room for corners beyond the raster
constexpr int previewMaxHeight = 300;

} // namespace

WarpPreview::WarpPreview(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(tr("Warp preview"));
    outline_ = new PreviewOutline(*this);
}

void WarpPreview::setModelAdapter(ModelAdapter* adapter) {
    if (adapter == adapter_) {
        return;
    }
    adapter_ = adapter;
    delete picture_;
    picture_ = nullptr;
    if (adapter_ != nullptr) {
        OutputConfig drawn = output_;
        drawn.warp = warp_;
        picture_ = makeCanvasWidget(*adapter_, drawn, this);
        picture_->setAccessibleName(tr("Output picture through its warp"));
        picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
        outline_->raise();
        placePicture();
        picture_->show();
    }
}

void WarpPreview::showOutput(const OutputConfig& output, const OutputWarp& drawn, int rasterWidth,
                             int rasterHeight) {
    const double aspect = rasterHeight > 0 ? static_cast<double>(rasterWidth) / rasterHeight : 0.0;
    const double kept = std::isfinite(aspect) && aspect > 0.1 && aspect < 10 ? aspect : 16.0 / 9.0;
    const bool resized = kept != aspect_;
    output_ = output;
    warp_ = drawn;
    aspect_ = kept;
    if (auto* canvas = qobject_cast<CanvasView*>(picture_)) {
        // Drawn as the projector draws it: through the warp, the unwarped
        // placement for an output without one.
        OutputConfig through = output;
        through.warp = warp_;
        canvas->setOutputConfig(std::move(through));
    }
    if (resized) {
        updateGeometry();
        placePicture();
    }
    outline_->update();
}

QRect WarpPreview::rasterRect() const {
    const int w = std::max(0, width() - 2 * previewMargin);
    const int h = std::max(0, height() - 2 * previewMargin);
    const int rw = std::min(w, static_cast<int>(std::lround(h * aspect_)));
    const int rh = static_cast<int>(std::lround(rw / aspect_));
    return QRect(previewMargin + (w - rw) / 2, previewMargin + (h - rh) / 2, rw, rh);
}

int WarpPreview::heightForWidth(int width) const {
    const int inner = std::max(0, width - 2 * previewMargin);
    return std::min(previewMaxHeight,
                    static_cast<int>(std::lround(inner / aspect_)) + 2 * previewMargin);
}

QSize WarpPreview::sizeHint() const {
    return QSize(256, heightForWidth(256));
}

QSize WarpPreview::minimumSizeHint() const {
    return QSize(120, heightForWidth(120));
}

void WarpPreview::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placePicture();
}

void WarpPreview::placePicture() {
    outline_->setGeometry(rect());
    if (picture_ != nullptr) {
        picture_->setGeometry(rasterRect());
    }
}

void WarpPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The raster is black where the picture does not reach (and where no
    // picture is drawn).
    painter.fillRect(rasterRect(), QColor(0, 0, 0));
}

} // namespace prismeta
