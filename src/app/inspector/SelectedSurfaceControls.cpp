#include "app/inspector/SelectedSurfaceControls.h"

#include "app/ModelAdapter.h"
#include "app/inspector/Captions.h"
#include "app/inspector/ColorConversion.h"
#include "app/inspector/ColorWell.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/FieldKeys.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/LiveStatusWatch.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/NumberFields.h"
#include "app/inspector/SegmentedControl.h"
#include "app/inspector/ShaderInputsSection.h"
#include "app/inspector/Stepper.h"
#include "core/ProjectModel.h"
#include "masks/MaskEdits.h"
#include "masks/MaskPresets.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace prismeta {

namespace {

const std::array<const char*, 4> cornerLabels = {"TL", "TR", "BR", "BL"};

// The file's name: the part after the last "/", trailing slashes ignored.
QString lastPathComponent(const std::string& path) {
    std::string_view view = path;
    while (view.size() > 1 && view.back() == '/') {
        view.remove_suffix(1);
    }
    const std::size_t slash = view.rfind('/');
    if (slash != std::string_view::npos && view.size() > 1) {
        view.remove_prefix(slash + 1);
    }
    return QFile::decodeName(QByteArray(view.data(), static_cast<qsizetype>(view.size())));
}

QVBoxLayout* tightColumn(QWidget* widget, int spacing) {
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QString meshCaption(const QString& word, std::int64_t count) {
    return word + QString::number(count);
}

// What a live source is opened with, as the row says it: "1280 × 720
// (mjpeg), 30 fps", "Latency 120 ms"; empty when nothing is set.
QString liveOptionsCaption(const LiveOptions& options) {
    QStringList parts;
    if (options.width && options.height) {
        parts << QStringLiteral("%1 \u00d7 %2").arg(*options.width).arg(*options.height);
    }
    if (options.format) {
        parts << QString::fromStdString(*options.format);
    }
    if (options.fps) {
        parts << QObject::tr("%1 fps").arg(QString::number(*options.fps, 'g', 5));
    }
    if (options.latencyMs) {
        parts << QObject::tr("latency %1 ms").arg(*options.latencyMs);
    }
    return parts.join(QStringLiteral(", "));
}

// The indicator's dot: amber while waiting, red once lost, green while
// pictures come.
QString liveStatusMarkup(const LiveStatus& status) {
    const char* colour = status.state == LiveStatus::State::connected ? "#3a9d4a"
                         : status.state == LiveStatus::State::lost    ? "#d93a32"
                                                                      : "#e09a1c";
    return QStringLiteral("<span style=\"color:%1\">\u25cf</span> %2")
        .arg(QLatin1String(colour), liveStatusText(status).toHtmlEscaped());
}

} // namespace

SelectedSurfaceControls::SelectedSurfaceControls(ProjectModel& model, InspectorDialogs& dialogs,
                                                 QWidget* parent)
    : QWidget(parent), model_(model), dialogs_(dialogs) {
    setObjectName(QStringLiteral("selectedControls"));
    auto* layout = tightColumn(this, 0);
    emptyState_ = buildEmptyState();
    controls_ = buildControls();
    layout->addWidget(emptyState_);
    layout->addWidget(controls_);
    controls_->hide();
}

QWidget* SelectedSurfaceControls::buildEmptyState() {
    auto* state = new QWidget(this);
    state->setObjectName(QStringLiteral("noSelectionState"));
    auto* column = tightColumn(state, 8);
    column->addSpacing(30);
    auto* icon = new QLabel(state);
    icon->setPixmap(inspectorIcon(InspectorIcon::noSelection).pixmap(40, 40));
    icon->setAlignment(Qt::AlignHCenter);
    column->addWidget(icon);
    auto* title = makeLabel(tr("No surface selected"), TextStyle::body, Tone::secondary, state);
    title->setAlignment(Qt::AlignHCenter);
    column->addWidget(title);
    auto* hint = makeLabel(tr("Add a surface, then drag its corners onto your projection target."),
                           TextStyle::caption, Tone::tertiary, state);
    hint->setAlignment(Qt::AlignHCenter);
    hint->setWordWrap(true);
    column->addWidget(hint);
    return state;
}

QWidget* SelectedSurfaceControls::buildControls() {
    auto* controls = new QWidget(this);
    auto* column = tightColumn(controls, 14);

    name_ = new QLineEdit(controls);
    name_->setObjectName(QStringLiteral("surfaceNameField"));
    name_->setPlaceholderText(tr("Name"));
    name_->setAccessibleName(tr("Name"));
    installFieldKeys(name_);
    column->addWidget(name_);
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
        edit([&text](Surface& s) { s.name = text.toStdString(); });
    });
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        // Done typing: the field shows the model again (a change it held
        // back while the user typed shows now).
        if (const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface()) {
            showFieldText(name_, QString::fromStdString(binding->get().name), true);
        }
    });

    auto* media = new QWidget(controls);
    auto* mediaColumn = tightColumn(media, 6);
    mediaColumn->addWidget(makeLabel(tr("Media"), TextStyle::subheadline, Tone::secondary, media));
    QStringList kindLabels;
    for (MediaKind kind : allMediaKinds) {
        kindLabels << QString::fromUtf8(mediaKindLabel(kind).data(),
                                        static_cast<qsizetype>(mediaKindLabel(kind).size()));
    }
    // Two rows of three: every kind's whole name fits the panel's width.
    kind_ = new SegmentedControl(kindLabels, media, 3);
    kind_->setObjectName(QStringLiteral("mediaKindPicker"));
    kind_->setAccessibleName(tr("Media"));
    for (int i = 0; i < kind_->count(); ++i) {
        applyTextStyle(kind_->button(i), TextStyle::subheadline);
    }
    mediaColumn->addWidget(kind_);
    column->addWidget(media);
    connect(kind_, &SegmentedControl::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(allMediaKinds.size())) {
            return;
        }
        switchKind(allMediaKinds[static_cast<std::size_t>(index)]);
    });

    column->addWidget(buildMediaDetail());

    const auto sliderBlock = [this, controls, column](QLabel*& caption, ContinuousSlider*& slider,
                                                      double maximum, const QString& name,
                                                      const QString& objectName) {
        auto* block = new QWidget(controls);
        auto* blockColumn = tightColumn(block, 6);
        caption = makeLabel(QString(), TextStyle::subheadline, Tone::secondary, block);
        slider = new ContinuousSlider(0.0, maximum, block);
        slider->setObjectName(objectName);
        slider->setAccessibleName(name);
        caption->setBuddy(slider);
        blockColumn->addWidget(caption);
        blockColumn->addWidget(slider);
        column->addWidget(block);
    };
    sliderBlock(opacityCaption_, opacity_, opacityMaximum, tr("Opacity"),
                QStringLiteral("opacitySlider"));
    sliderBlock(featherCaption_, feather_, featherMaximum, tr("Edge Feather"),
                QStringLiteral("featherSlider"));
    connect(opacity_, &ContinuousSlider::valueEdited, this,
            [this](double value) { edit([value](Surface& s) { s.opacity = value; }); });
    connect(feather_, &ContinuousSlider::valueEdited, this, [this](double value) {
        edit([value](Surface& s) { s.feather = static_cast<float>(value); });
    });

    column->addWidget(buildMeshControls());
    column->addWidget(buildCornerFields());

    auto* resetRow = new QHBoxLayout;
    resetCorners_ =
        new QPushButton(inspectorIcon(InspectorIcon::resetCorners), tr("Reset Corners"), controls);
    resetCorners_->setObjectName(QStringLiteral("resetCornersButton"));
    resetCorners_->setAccessibleName(tr("Reset Corners"));
    resetRow->addWidget(resetCorners_);
    maskShape_ = new QToolButton(controls);
    maskShape_->setObjectName(QStringLiteral("maskShapeButton"));
    maskShape_->setText(tr("Mask Shape"));
    maskShape_->setAccessibleName(tr("Mask Shape"));
    maskShape_->setToolTip(tr("Turn the surface into a shape: a mask in its picture"));
    maskShape_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    maskShape_->setPopupMode(QToolButton::InstantPopup);
    auto* shapes = new QMenu(maskShape_);
    const std::pair<MaskShape, QString> shapeNames[] = {{MaskShape::triangle, tr("Triangle")},
                                                        {MaskShape::circle, tr("Circle")},
                                                        {MaskShape::hexagon, tr("Hexagon")},
                                                        {MaskShape::polygon, tr("Polygon")}};
    for (const auto& [shape, name] : shapeNames) {
        connect(shapes->addAction(name), &QAction::triggered, this,
                [this, shape = shape] { applyMaskShape(shape); });
    }
    maskShape_->setMenu(shapes);
    resetRow->addWidget(maskShape_);
    resetRow->addStretch(1);
    column->addLayout(resetRow);
    connect(resetCorners_, &QPushButton::clicked, this, [this] { model_.resetCorners(); });

    MasksSection::Hooks hooks;
    hooks.read = [this]() -> std::optional<std::vector<Mask>> {
        if (const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface()) {
            return binding->get().masks;
        }
        return std::nullopt;
    };
    hooks.write = [this](std::vector<Mask> masks) {
        edit([&masks](Surface& s) { s.masks = std::move(masks); });
    };
    // Surface masks live in the surface records: the step restores them.
    hooks.beforeListEdit = [this](const std::string& step) { model_.pushUndo(step); };
    hooks.makePreset = [](MaskPreset preset) { return makeMaskPreset(preset); };
    masks_ = new MasksSection(std::move(hooks), controls);
    masks_->setObjectName(QStringLiteral("surfaceMasksSection"));
    column->addWidget(masks_);
    return controls;
}

QWidget* SelectedSurfaceControls::buildMediaDetail() {
    auto* detail = new QWidget(this);
    auto* column = tightColumn(detail, 0);

    colorRow_ = new QWidget(detail);
    auto* colorLayout = new QHBoxLayout(colorRow_);
    colorLayout->setContentsMargins(0, 0, 0, 0);
    auto* colorLabel = new QLabel(tr("Color"), colorRow_);
    colorWell_ = new ColorWell(colorRow_);
    colorWell_->setObjectName(QStringLiteral("colorWell"));
    colorWell_->setAccessibleName(tr("Color"));
    colorLabel->setBuddy(colorWell_);
    colorLayout->addWidget(colorLabel);
    colorLayout->addWidget(colorWell_);
    colorLayout->addStretch(1);
    column->addWidget(colorRow_);
    connect(colorWell_, &ColorWell::clicked, this, &SelectedSurfaceControls::chooseColor);

    testPatternNote_ = makeLabel(tr("A calibration grid with colored corner markers."),
                                 TextStyle::caption, Tone::secondary, detail);
    testPatternNote_->setWordWrap(true);
    column->addWidget(testPatternNote_);

    const auto fileRow = [this, detail, column](const QString& title, QPushButton*& button,
                                                ElidedLabel*& fileLabel) {
        auto* row = new QWidget(detail);
        auto* rowColumn = tightColumn(row, 6);
        auto* buttonRow = new QHBoxLayout;
        button = new QPushButton(inspectorIcon(InspectorIcon::folder), title, row);
        button->setAccessibleName(title);
        buttonRow->addWidget(button);
        buttonRow->addStretch(1);
        rowColumn->addLayout(buttonRow);
        fileLabel = new ElidedLabel(Qt::ElideMiddle, row);
        applyTextStyle(fileLabel, TextStyle::caption, Tone::secondary);
        rowColumn->addWidget(fileLabel);
        column->addWidget(row);
        return row;
    };
    imageRow_ = fileRow(tr("Choose Image\u2026"), chooseImage_, imageFile_);
    videoRow_ = fileRow(tr("Choose Video\u2026"), chooseVideo_, videoFile_);
    chooseImage_->setObjectName(QStringLiteral("chooseImageButton"));
    chooseVideo_->setObjectName(QStringLiteral("chooseVideoButton"));
    playOnce_ = new QCheckBox(tr("Play Once, Hold Last Picture"), videoRow_);
    playOnce_->setObjectName(QStringLiteral("playOnceCheckBox"));
    playOnce_->setAccessibleName(tr("Play Once, Hold Last Picture"));
    videoRow_->layout()->addWidget(playOnce_);
    connect(playOnce_, &QCheckBox::toggled, this, [this](bool once) {
        if (const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface()) {
            Surface surface = binding->get();
            surface.playback = once ? VideoPlayback::once : VideoPlayback::loop;
            binding->set(surface);
        }
    });
    liveRow_ = fileRow(tr("Live Source\u2026"), chooseLive_, liveSource_);
    chooseLive_->setObjectName(QStringLiteral("chooseLiveSourceButton"));
    chooseLive_->setIcon(inspectorIcon(InspectorIcon::liveKind));
    liveSource_->setObjectName(QStringLiteral("liveSourceLabel"));
    liveOptions_ = makeLabel(QString(), TextStyle::caption, Tone::secondary, liveRow_);
    liveOptions_->setObjectName(QStringLiteral("liveOptionsLabel"));
    liveRow_->layout()->addWidget(liveOptions_);
    liveStatus_ = makeLabel(QString(), TextStyle::caption, Tone::primary, liveRow_);
    liveStatus_->setObjectName(QStringLiteral("liveStatusLabel"));
    liveStatus_->setTextFormat(Qt::RichText);
    liveStatus_->setWordWrap(true);
    liveRow_->layout()->addWidget(liveStatus_);
    connect(chooseLive_, &QPushButton::clicked, this, &SelectedSurfaceControls::chooseLiveSource);
    shaderRow_ = fileRow(tr("Choose Shader\u2026"), chooseShader_, shaderFile_);
    chooseShader_->setObjectName(QStringLiteral("chooseShaderButton"));
    shaderInputs_ = new ShaderInputsSection(model_, dialogs_, detail);
    column->addWidget(shaderInputs_);
    connect(chooseImage_, &QPushButton::clicked, this,
            [this] { chooseFile(MediaFileType::image); });
    connect(chooseVideo_, &QPushButton::clicked, this,
            [this] { chooseFile(MediaFileType::video); });
    connect(chooseShader_, &QPushButton::clicked, this,
            [this] { chooseFile(MediaFileType::shader); });
    return detail;
}

QWidget* SelectedSurfaceControls::buildMeshControls() {
    auto* mesh = new QWidget(this);
    auto* column = tightColumn(mesh, 8);
    meshOn_ = new QCheckBox(tr("Curved Surface (Mesh Warp)"), mesh);
    meshOn_->setObjectName(QStringLiteral("meshCheckBox"));
    meshOn_->setAccessibleName(tr("Curved Surface (Mesh Warp)"));
    column->addWidget(meshOn_);
    // Every way of ticking the box (pointer, keyboard, assistive technology,
    // code) reaches the model; the model's side sets it quietly.
    connect(meshOn_, &QCheckBox::toggled, this, &SelectedSurfaceControls::setMeshOn);

    meshDetail_ = new QWidget(mesh);
    auto* detailColumn = tightColumn(meshDetail_, 6);
    const auto stepperRow = [this, detailColumn](QLabel*& caption, Stepper*& stepper,
                                                 const QString& name) {
        auto* row = new QHBoxLayout;
        caption = new QLabel(meshDetail_);
        stepper = new Stepper(name, meshCountMinimum, meshCountMaximum, meshDetail_);
        caption->setBuddy(stepper);
        row->addWidget(caption);
        row->addStretch(1);
        row->addWidget(stepper);
        detailColumn->addLayout(row);
    };
    stepperRow(columnsCaption_, columns_, tr("Columns"));
    stepperRow(rowsCaption_, rows_, tr("Rows"));
    columns_->setObjectName(QStringLiteral("columnsStepper"));
    rows_->setObjectName(QStringLiteral("rowsStepper"));
    connect(columns_, &Stepper::valueEdited, this,
            [this](std::int64_t cols) { rebuildMesh(cols, std::nullopt); });
    connect(rows_, &Stepper::valueEdited, this,
            [this](std::int64_t rows) { rebuildMesh(std::nullopt, rows); });

    auto* resetRow = new QHBoxLayout;
    resetMesh_ = new QPushButton(tr("Reset Mesh"), meshDetail_);
    resetMesh_->setObjectName(QStringLiteral("resetMeshButton"));
    resetMesh_->setAccessibleName(tr("Reset Mesh"));
    resetRow->addWidget(resetMesh_);
    resetRow->addStretch(1);
    smoothMesh_ = new QCheckBox(tr("Smooth"), meshDetail_);
    smoothMesh_->setObjectName(QStringLiteral("smoothMeshCheckBox"));
    smoothMesh_->setAccessibleName(tr("Smooth Mesh"));
    smoothMesh_->setToolTip(tr("One smooth curve through every point; off, each cell is "
                               "pinned by its own four corners"));
    resetRow->addWidget(smoothMesh_);
    connect(smoothMesh_, &QCheckBox::toggled, this, [this](bool smooth) {
        edit([smooth](Surface& s) {
            if (s.mesh) {
                s.mesh->interpolation =
                    smooth ? WarpMesh::Interpolation::smooth : WarpMesh::Interpolation::cells;
            }
        });
    });
    detailColumn->addLayout(resetRow);
    connect(resetMesh_, &QPushButton::clicked, this,
            [this] { rebuildMesh(std::nullopt, std::nullopt); });
    column->addWidget(meshDetail_);
    return mesh;
}

QWidget* SelectedSurfaceControls::buildCornerFields() {
    cornerFields_ = new QWidget(this);
    cornerFields_->setObjectName(QStringLiteral("cornerFields"));
    auto* column = tightColumn(cornerFields_, 4);
    column->addWidget(
        makeLabel(tr("Corners"), TextStyle::subheadline, Tone::secondary, cornerFields_));
    for (int corner = 0; corner < 4; ++corner) {
        auto* row = new QWidget(cornerFields_);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        const QString label = QString::fromLatin1(cornerLabels[static_cast<std::size_t>(corner)]);
        auto* name = makeLabel(label, TextStyle::caption, Tone::primary, row);
        name->setFixedWidth(22);
        rowLayout->addWidget(name);
        for (int axis = 0; axis < 2; ++axis) {
            const bool y = axis == 1;
            auto* field = new QLineEdit(row);
            const QString axisName = y ? QStringLiteral("y") : QStringLiteral("x");
            field->setPlaceholderText(axisName);
            field->setAccessibleName(label + QLatin1Char(' ') + axisName);
            field->setObjectName(QStringLiteral("corner%1%2").arg(label, axisName));
            field->setMinimumWidth(40);
            installFieldKeys(field);
            rowLayout->addWidget(field, 1);
            connect(field, &QLineEdit::editingFinished, this,
                    [this, corner, y] { commitCorner(corner, y); });
            corners_[static_cast<std::size_t>(corner)][static_cast<std::size_t>(axis)] = field;
        }
        name->setBuddy(corners_[static_cast<std::size_t>(corner)][0]);
        cornerRows_[static_cast<std::size_t>(corner)] = row;
        column->addWidget(row);
    }
    return cornerFields_;
}

QLineEdit* SelectedSurfaceControls::cornerField(int corner, bool y) const {
    if (corner < 0 || corner > 3) {
        return nullptr;
    }
    return corners_[static_cast<std::size_t>(corner)][y ? 1 : 0];
}

// ---------------------------------------------------------------- writing

void SelectedSurfaceControls::edit(const std::function<void(Surface&)>& change) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    Surface surface = binding->get();
    change(surface);
    binding->set(surface);
}

void SelectedSurfaceControls::applyMaskShape(MaskShape shape) {
    if (!model_.selectedSurface()) {
        return;
    }
    model_.pushUndo("Mask Shape");
    // The shape replaces the masks that say what is shown (the normal ones);
    // inverted masks, the holes cut out of it, stay.
    edit([shape](Surface& s) {
        std::vector<Mask> masks{makeMaskShape(shape)};
        for (Mask& mask : s.masks) {
            if (mask.invert) {
                masks.push_back(std::move(mask));
            }
        }
        s.masks = std::move(masks);
    });
    masks_->choose(0);
}

void SelectedSurfaceControls::chooseColor() {
    // The binding keeps the surface the dialog was opened for.
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    const std::optional<QColor> picked = dialogs_.chooseColor(colorFromRgba(binding->get().color));
    if (!picked) {
        return; // cancelled: nothing changes
    }
    Surface surface = binding->get();
    surface.color = rgbaFromColor(*picked);
    binding->set(surface);
}

void SelectedSurfaceControls::switchKind(MediaKind kind) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding || binding->get().mediaKind == kind) {
        return;
    }
    // A file chosen for one kind means nothing to another (a still is no
    // shader): the new kind starts without one, and a kind that shows a
    // file asks for it at once.
    edit([kind](Surface& s) {
        s.mediaKind = kind;
        s.mediaPath.reset();
        s.liveOptions = {};
    });
    switch (kind) {
    case MediaKind::image:
        chooseFile(MediaFileType::image);
        break;
    case MediaKind::video:
        chooseFile(MediaFileType::video);
        break;
    case MediaKind::shader:
        chooseFile(MediaFileType::shader);
        break;
    case MediaKind::live:
        chooseLiveSource();
        break;
    case MediaKind::color:
    case MediaKind::testPattern:
        break;
    }
}

void SelectedSurfaceControls::chooseLiveSource() {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    const Surface& surface = binding->get();
    LiveSourceChoice current;
    if (surface.mediaKind == MediaKind::live && surface.mediaPath) {
        current.source = *surface.mediaPath;
        current.options = surface.liveOptions;
    }
    std::optional<LiveSourceChoice> chosen = dialogs_.chooseLiveSource(current);
    if (!chosen || chosen->source.empty()) {
        return;
    }
    // One write: the kind, the source and its options change together.
    Surface changed = binding->get();
    changed.mediaKind = MediaKind::live;
    changed.mediaPath = std::move(chosen->source);
    changed.liveOptions = std::move(chosen->options);
    binding->set(changed);
}

void SelectedSurfaceControls::setLiveStatusWatch(const LiveStatusWatch* watch) {
    liveWatch_ = watch;
    if (watch != nullptr) {
        connect(watch, &LiveStatusWatch::changed, this, &SelectedSurfaceControls::showLiveStatus);
    }
    showLiveStatus();
}

void SelectedSurfaceControls::showLiveStatus() {
    const bool live = shown_ && shown_->mediaKind == MediaKind::live && shown_->mediaPath;
    std::optional<LiveStatus> status;
    if (live && liveWatch_ != nullptr) {
        status = liveWatch_->status(shown_->id);
    }
    liveStatus_->setVisible(live);
    if (live) {
        const LiveStatus shownStatus = status.value_or(LiveStatus{});
        liveStatus_->setText(liveStatusMarkup(shownStatus));
        liveStatus_->setAccessibleName(liveStatusText(shownStatus));
    }
}

void SelectedSurfaceControls::chooseFile(MediaFileType type) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    std::optional<std::string> path = dialogs_.chooseFile(type);
    if (!path) {
        return;
    }
    Surface surface = binding->get();
    surface.mediaPath = std::move(*path);
    binding->set(surface);
}

void SelectedSurfaceControls::setMeshOn(bool on) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    Surface surface = binding->get();
    if (on) {
        // Always a fresh grid from the corners, never an earlier mesh.
        std::optional<WarpMesh> mesh = WarpMesh::from(surface.corners, newMeshCount, newMeshCount);
        if (!mesh) {
            // Fewer than four corners (a hand-made file): the box stays off.
            const QSignalBlocker blocker(meshOn_);
            meshOn_->setChecked(false);
            return;
        }
        mesh->interpolation = WarpMesh::Interpolation::smooth;
        surface.mesh = std::move(mesh);
    } else {
        surface.mesh.reset();
    }
    binding->set(surface);
}

void SelectedSurfaceControls::rebuildMesh(std::optional<std::int64_t> cols,
                                          std::optional<std::int64_t> rows) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    Surface surface = binding->get();
    if (!surface.mesh) {
        return;
    }
    // Every point comes back onto the grid of the current corners.
    std::optional<WarpMesh> mesh = WarpMesh::from(
        surface.corners, cols.value_or(surface.mesh->cols), rows.value_or(surface.mesh->rows));
    if (!mesh) {
        // Refused (too few corners, or counts a file made too large): the
        // mesh stays, and so do the steppers.
        columns_->showValue(surface.mesh->cols);
        rows_->showValue(surface.mesh->rows);
        return;
    }
    mesh->interpolation = surface.mesh->interpolation;
    surface.mesh = std::move(mesh);
    binding->set(surface);
}

void SelectedSurfaceControls::commitCorner(int corner, bool y) {
    QLineEdit* field = cornerField(corner, y);
    // Leaving a field that was not typed in stores nothing: its text is the
    // value rounded to three digits, not the value.
    if (field == nullptr || !field->isModified()) {
        return;
    }
    const auto index = static_cast<std::size_t>(corner);
    const std::optional<float> typed = parseCoordinate(field->text(), field->locale());
    std::optional<float> stored;
    if (typed) {
        edit([&](Surface& s) {
            if (index < s.corners.size()) {
                (y ? s.corners[index].y : s.corners[index].x) = *typed;
            }
        });
    }
    if (const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface()) {
        const Surface surface = binding->get();
        if (index < surface.corners.size()) {
            stored = y ? surface.corners[index].y : surface.corners[index].x;
        }
    }
    // What is stored now, also when the text could not be read.
    if (stored) {
        showFieldText(field, formatCoordinate(*stored, field->locale()), true);
    }
}

// ---------------------------------------------------------------- showing

void SelectedSurfaceControls::refresh(const ModelChanges& changes) {
    if (!changes.has(ModelField::surfaces) && !changes.has(ModelField::selectedID)) {
        return;
    }
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        shown_.reset();
        controls_->hide();
        emptyState_->show();
        return;
    }
    const Surface surface = binding->get();
    const bool otherSurface = !shown_ || shown_->id != surface.id;
    if (!otherSurface && *shown_ == surface && !controls_->isHidden()) {
        return; // another surface changed
    }
    showSurface(surface, otherSurface);
    shown_ = surface;
    showLiveStatus();
    emptyState_->hide();
    controls_->show();
}

void SelectedSurfaceControls::showSurface(const Surface& surface, bool otherSurface) {
    // Fields that now belong to another surface drop what was typed for the
    // previous one; otherwise the user's typing is left alone.
    showFieldText(name_, QString::fromStdString(surface.name), otherSurface);

    kind_->setCurrentIndex(static_cast<int>(surface.mediaKind));
    colorRow_->setVisible(surface.mediaKind == MediaKind::color);
    testPatternNote_->setVisible(surface.mediaKind == MediaKind::testPattern);
    imageRow_->setVisible(surface.mediaKind == MediaKind::image);
    videoRow_->setVisible(surface.mediaKind == MediaKind::video);
    shaderRow_->setVisible(surface.mediaKind == MediaKind::shader);
    liveRow_->setVisible(surface.mediaKind == MediaKind::live);
    colorWell_->setColor(colorFromRgba(surface.color));
    const QString fileName = surface.mediaPath ? lastPathComponent(*surface.mediaPath) : QString();
    for (ElidedLabel* label : {imageFile_, videoFile_, shaderFile_}) {
        label->setVisible(surface.mediaPath.has_value());
        label->setFullText(fileName);
    }
    // A stream's address whole (a file name would say nothing), its
    // password and keys hidden.
    liveSource_->setVisible(surface.mediaPath.has_value());
    liveSource_->setFullText(surface.mediaPath
                                 ? QString::fromStdString(displayedLiveSource(*surface.mediaPath))
                                 : QString());
    const QString options = liveOptionsCaption(surface.liveOptions);
    liveOptions_->setText(options);
    liveOptions_->setVisible(!options.isEmpty());
    shaderInputs_->showSurface(surface, otherSurface);

    opacityCaption_->setText(prismeta::opacityCaption(surface.opacity));
    opacity_->showValue(surface.opacity);
    featherCaption_->setText(prismeta::featherCaption(surface.feather));
    feather_->showValue(static_cast<double>(surface.feather));

    {
        const QSignalBlocker blocker(meshOn_);
        meshOn_->setChecked(surface.mesh.has_value());
    }
    {
        const QSignalBlocker blocker(playOnce_);
        playOnce_->setChecked(surface.playback == VideoPlayback::once);
    }
    meshDetail_->setVisible(surface.mesh.has_value());
    if (surface.mesh) {
        columnsCaption_->setText(meshCaption(tr("Columns: "), surface.mesh->cols));
        rowsCaption_->setText(meshCaption(tr("Rows: "), surface.mesh->rows));
        columns_->showValue(surface.mesh->cols);
        rows_->showValue(surface.mesh->rows);
        const QSignalBlocker blocker(smoothMesh_);
        smoothMesh_->setChecked(surface.mesh->interpolation == WarpMesh::Interpolation::smooth);
    }

    cornerFields_->setVisible(!surface.mesh.has_value());
    for (std::size_t corner = 0; corner < 4; ++corner) {
        // A hand-made file may hold fewer corners: their rows are hidden.
        const bool present = corner < surface.corners.size();
        cornerRows_[corner]->setVisible(present);
        if (!present) {
            continue;
        }
        const Pt point = surface.corners[corner];
        QLineEdit* xField = corners_[corner][0];
        QLineEdit* yField = corners_[corner][1];
        showFieldText(xField, formatCoordinate(point.x, xField->locale()), otherSurface);
        showFieldText(yField, formatCoordinate(point.y, yField->locale()), otherSurface);
    }

    masks_->showMasks(surface.masks, otherSurface);
}

} // namespace prismeta
