#include "app/inspector/ShaderInputsSection.h"

#include "app/inspector/ColorWell.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/FieldKeys.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/NumberFields.h"
#include "core/ProjectModel.h"
#include "isf/IsfInputValues.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace prismeta {

namespace {

// A long without VALUES lists its range; a range wider than this is cut.
constexpr int maxMenuEntries = 256;

QString inputTitle(const IsfInput& input) {
    return QString::fromStdString(input.label.empty() ? input.name : input.label);
}

QString objectNameFor(const IsfInput& input) {
    return QStringLiteral("shaderInput_") + QString::fromStdString(input.name);
}

// The slider's range: the declared one, else [0, 1]; never empty.
std::array<double, 2> sliderRange(const IsfInput& input) {
    const double low = input.hasMinimum ? input.minimum[0] : 0.0;
    double high = input.hasMaximum ? input.maximum[0] : std::max(1.0, low + 1.0);
    if (!(high > low)) {
        high = low + 1.0;
    }
    return {low, high};
}

QString numberText(double value) {
    return QString::number(value, 'g', 4);
}

} // namespace

ShaderInputsSection::ShaderInputsSection(ProjectModel& model, InspectorDialogs& dialogs,
                                         QWidget* parent)
    : QWidget(parent), model_(model), dialogs_(dialogs) {
    setObjectName(QStringLiteral("shaderInputsSection"));
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 8, 0, 0);
    layout_->setSpacing(6);
    layout_->addWidget(makeLabel(tr("Inputs"), TextStyle::subheadline, Tone::secondary, this));
    hide();
}

std::vector<std::string> ShaderInputsSection::shownInputs() const {
    std::vector<std::string> names;
    names.reserve(rows_.size());
    for (const Row& row : rows_) {
        names.push_back(row.input.name);
    }
    return names;
}

void ShaderInputsSection::showSurface(const Surface& surface, bool otherSurface) {
    const IsfShader* header = nullptr;
    if (surface.mediaKind == MediaKind::shader && surface.mediaPath &&
        !surface.mediaPath->empty()) {
        header = headers_.header(*surface.mediaPath);
    }
    if (header == nullptr) {
        setVisible(false);
        return;
    }
    if (rowsWidget_ == nullptr || *surface.mediaPath != builtPath_ ||
        headers_.generation() != builtGeneration_) {
        builtPath_ = *surface.mediaPath;
        builtGeneration_ = headers_.generation();
        rebuild(*header);
        otherSurface = true;
    }
    for (Row& row : rows_) {
        showRow(row, surface.shaderInputs, otherSurface);
    }
    setVisible(!rows_.empty());
}

// ---------------------------------------------------------------- building

void ShaderInputsSection::rebuild(const IsfShader& shader) {
    if (rowsWidget_ != nullptr) {
        // A control's own signal may have led here: delete once it returns.
        rowsWidget_->hide();
        rowsWidget_->deleteLater();
    }
    rows_.clear();
    rowsWidget_ = new QWidget(this);
    auto* column = new QVBoxLayout(rowsWidget_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    layout_->addWidget(rowsWidget_);

    // The usual image of a filter comes first; the rest keep the header's order.
    std::vector<const IsfInput*> ordered;
    for (const IsfInput& input : shader.inputs) {
        ordered.push_back(&input);
    }
    std::stable_partition(ordered.begin(), ordered.end(), [](const IsfInput* input) {
        return input->type == IsfInputType::image && input->name == "inputImage";
    });
    for (const IsfInput* input : ordered) {
        addRow(*input);
    }
}

void ShaderInputsSection::addRow(const IsfInput& input) {
    Row row;
    row.input = input;
    const std::string name = input.name;
    const QString title = inputTitle(input);
    auto* widget = new QWidget(rowsWidget_);
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    auto* block = new QVBoxLayout(widget);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(4);
    block->addLayout(line);
    const auto titleLabel = [&] {
        auto* label = new QLabel(title, widget);
        line->addWidget(label);
        return label;
    };

    switch (input.type) {
    case IsfInputType::floating: {
        QLabel* label = titleLabel();
        line->addStretch(1);
        row.caption = makeLabel(QString(), TextStyle::caption, Tone::secondary, widget);
        line->addWidget(row.caption);
        const std::array<double, 2> range = sliderRange(input);
        auto* slider = new ContinuousSlider(range[0], range[1], widget);
        label->setBuddy(slider);
        block->addWidget(slider);
        row.control = slider;
        connect(slider, &ContinuousSlider::valueEdited, this, [this, name](double value) {
            if (const Row* r = rowFor(name)) {
                storeNumbers(r->input, {value, 0.0, 0.0, 0.0});
            }
        });
        break;
    }
    case IsfInputType::boolean: {
        auto* box = new QCheckBox(title, widget);
        line->addWidget(box);
        row.control = box;
        connect(box, &QCheckBox::toggled, this, [this, name](bool on) {
            if (const Row* r = rowFor(name)) {
                storeNumbers(r->input, {on ? 1.0 : 0.0, 0.0, 0.0, 0.0});
            }
        });
        break;
    }
    case IsfInputType::longInt: {
        QLabel* label = titleLabel();
        auto* menu = new QComboBox(widget);
        if (!input.values.empty()) {
            for (std::size_t i = 0; i < input.values.size(); ++i) {
                const QString text = i < input.labels.size()
                                         ? QString::fromStdString(input.labels[i])
                                         : QString::number(input.values[i]);
                menu->addItem(text, input.values[i]);
            }
        } else {
            // Without MAX the menu runs a little past the default.
            std::array<double, 2> range = sliderRange(input);
            if (!input.hasMaximum) {
                range[1] = std::max(range[0], input.defaultValue[0]) + 10.0;
            }
            const int low = static_cast<int>(std::clamp(range[0], -1e9, 1e9));
            const int high = static_cast<int>(std::clamp(
                range[1], static_cast<double>(low), static_cast<double>(low) + maxMenuEntries - 1));
            for (int v = low; v <= high; ++v) {
                menu->addItem(QString::number(v), v);
            }
        }
        label->setBuddy(menu);
        line->addStretch(1);
        line->addWidget(menu);
        row.control = menu;
        connect(menu, &QComboBox::activated, this, [this, name, menu](int index) {
            const Row* r = rowFor(name);
            if (r == nullptr || index < 0) {
                return;
            }
            storeNumbers(r->input, {menu->itemData(index).toDouble(), 0.0, 0.0, 0.0});
        });
        break;
    }
    case IsfInputType::color: {
        QLabel* label = titleLabel();
        auto* well = new ColorWell(widget);
        label->setBuddy(well);
        line->addWidget(well);
        line->addStretch(1);
        row.control = well;
        connect(well, &ColorWell::clicked, this, [this, name, well] {
            const std::optional<QColor> picked = dialogs_.chooseColor(well->color());
            const Row* r = rowFor(name);
            if (!picked || r == nullptr) {
                return; // cancelled: nothing changes
            }
            storeNumbers(r->input,
                         {picked->redF(), picked->greenF(), picked->blueF(), picked->alphaF()});
        });
        break;
    }
    case IsfInputType::point2D: {
        QLabel* label = titleLabel();
        line->addStretch(1);
        std::array<QLineEdit*, 2> fields{};
        for (int axis = 0; axis < 2; ++axis) {
            const QString axisName = axis == 1 ? QStringLiteral("y") : QStringLiteral("x");
            auto* field = new QLineEdit(widget);
            field->setPlaceholderText(axisName);
            field->setAccessibleName(title + QLatin1Char(' ') + axisName);
            field->setMaximumWidth(70);
            installFieldKeys(field);
            line->addWidget(field);
            connect(field, &QLineEdit::editingFinished, this, [this, name] {
                if (const Row* r = rowFor(name)) {
                    commitPoint(*r);
                }
            });
            fields[static_cast<std::size_t>(axis)] = field;
        }
        label->setBuddy(fields[0]);
        row.control = fields[0];
        row.y = fields[1];
        row.y->setObjectName(objectNameFor(input) + QStringLiteral("_y"));
        break;
    }
    case IsfInputType::image: {
        titleLabel();
        line->addStretch(1);
        auto* button = new QPushButton(tr("Choose\u2026"), widget);
        button->setAccessibleName(title);
        line->addWidget(button);
        auto* clear = new QPushButton(tr("Clear"), widget);
        clear->setObjectName(objectNameFor(input) + QStringLiteral("_clear"));
        clear->setAccessibleName(tr("Clear %1").arg(title));
        line->addWidget(clear);
        row.clear = clear;
        row.file = new ElidedLabel(Qt::ElideMiddle, widget);
        applyTextStyle(row.file, TextStyle::caption, Tone::secondary);
        block->addWidget(row.file);
        connect(clear, &QPushButton::clicked, this, [this, name] {
            if (const Row* r = rowFor(name)) {
                store(r->input, ShaderInputValue::ofText(std::string())); // the default: no file
            }
        });
        row.control = button;
        connect(button, &QPushButton::clicked, this, [this, name] {
            std::optional<std::string> path = dialogs_.chooseFile(MediaFileType::stillOrVideo);
            const Row* r = rowFor(name);
            if (!path || r == nullptr) {
                return;
            }
            store(r->input, ShaderInputValue::ofText(std::move(*path)));
        });
        break;
    }
    case IsfInputType::event: {
        auto* button = new QPushButton(title, widget);
        button->setAccessibleName(title);
        line->addWidget(button);
        line->addStretch(1);
        row.control = button;
        connect(button, &QPushButton::clicked, this, [this, name] {
            if (const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface()) {
                // Fires on the next frame the surface's shader renders.
                const Uuid id = binding->get().id;
                model_.shaderEvents().trigger(id, name);
                emit eventTriggered(id, QString::fromStdString(name));
            }
        });
        break;
    }
    case IsfInputType::audio:
    case IsfInputType::audioFFT:
        delete widget;
        return;
    }
    row.control->setObjectName(objectNameFor(input));
    if (row.control->accessibleName().isEmpty()) {
        row.control->setAccessibleName(title);
    }
    rowsWidget_->layout()->addWidget(widget);
    rows_.push_back(std::move(row));
}

// ---------------------------------------------------------------- showing

void ShaderInputsSection::showRow(Row& row, const ShaderInputs& stored, bool otherSurface) {
    const IsfInput& input = row.input;
    const std::array<double, 4> v = resolvedIsfValue(input, stored);
    switch (input.type) {
    case IsfInputType::floating:
        row.caption->setText(numberText(v[0]));
        static_cast<ContinuousSlider*>(row.control)->showValue(v[0]);
        break;
    case IsfInputType::boolean: {
        auto* box = static_cast<QCheckBox*>(row.control);
        const QSignalBlocker blocker(box);
        box->setChecked(v[0] != 0.0);
        break;
    }
    case IsfInputType::longInt: {
        auto* menu = static_cast<QComboBox*>(row.control);
        const QSignalBlocker blocker(menu);
        const int value = static_cast<int>(v[0]);
        int index = menu->findData(value);
        if (index < 0) {
            // A value outside the listed range (a long without VALUES or MAX).
            menu->addItem(QString::number(value), value);
            index = menu->count() - 1;
        }
        menu->setCurrentIndex(index);
        break;
    }
    case IsfInputType::color:
        static_cast<ColorWell*>(row.control)
            ->setColor(QColor::fromRgbF(static_cast<float>(std::clamp(v[0], 0.0, 1.0)),
                                        static_cast<float>(std::clamp(v[1], 0.0, 1.0)),
                                        static_cast<float>(std::clamp(v[2], 0.0, 1.0)),
                                        static_cast<float>(std::clamp(v[3], 0.0, 1.0))));
        break;
    case IsfInputType::point2D: {
        auto* x = static_cast<QLineEdit*>(row.control);
        showFieldText(x, formatCoordinate(static_cast<float>(v[0]), x->locale()), otherSurface);
        showFieldText(row.y, formatCoordinate(static_cast<float>(v[1]), row.y->locale()),
                      otherSurface);
        break;
    }
    case IsfInputType::image: {
        const std::string_view path = isfImagePath(input, stored);
        static_cast<ElidedLabel*>(row.file)->setFullText(
            QFileInfo(QString::fromStdString(std::string(path))).fileName());
        row.file->setVisible(!path.empty());
        row.clear->setVisible(!path.empty());
        break;
    }
    case IsfInputType::event:
    case IsfInputType::audio:
    case IsfInputType::audioFFT:
        break;
    }
}

// ---------------------------------------------------------------- writing

const ShaderInputsSection::Row* ShaderInputsSection::rowFor(const std::string& name) const {
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [&name](const Row& row) { return row.input.name == name; });
    return it == rows_.end() ? nullptr : &*it;
}

void ShaderInputsSection::storeNumbers(const IsfInput& input, const std::array<double, 4>& value) {
    // Kept within the header's range, as the renderer reads it.
    const ShaderInputs one{{input.name, storedIsfValue(input, value)}};
    store(input, storedIsfValue(input, resolvedIsfValue(input, one)));
}

void ShaderInputsSection::store(const IsfInput& input, ShaderInputValue value) {
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    Surface surface = binding->get();
    if (isDefaultIsfValue(input, value)) {
        surface.shaderInputs.erase(input.name);
    } else {
        surface.shaderInputs[input.name] = std::move(value);
    }
    if (surface.shaderInputs == binding->get().shaderInputs) {
        return;
    }
    binding->set(surface);
}

void ShaderInputsSection::commitPoint(const Row& row) {
    auto* x = static_cast<QLineEdit*>(row.control);
    if (!x->isModified() && !row.y->isModified()) {
        return; // left without typing: the text is rounded, not the value
    }
    const std::optional<SelectedSurfaceBinding> binding = model_.selectedSurface();
    if (!binding) {
        return;
    }
    std::array<double, 4> value = resolvedIsfValue(row.input, binding->get().shaderInputs);
    const std::optional<float> typedX = parseCoordinate(x->text(), x->locale());
    const std::optional<float> typedY = parseCoordinate(row.y->text(), row.y->locale());
    if (typedX && x->isModified()) {
        value[0] = *typedX;
    }
    if (typedY && row.y->isModified()) {
        value[1] = *typedY;
    }
    const IsfInput input = row.input; // the row may be rebuilt by the edit
    storeNumbers(input, value);
    // What is stored now, also when the text could not be read.
    const std::optional<SelectedSurfaceBinding> after = model_.selectedSurface();
    const Row* shown = rowFor(input.name);
    if (!after || shown == nullptr) {
        return;
    }
    const std::array<double, 4> now = resolvedIsfValue(input, after->get().shaderInputs);
    auto* shownX = static_cast<QLineEdit*>(shown->control);
    showFieldText(shownX, formatCoordinate(static_cast<float>(now[0]), shownX->locale()), true);
    showFieldText(shown->y, formatCoordinate(static_cast<float>(now[1]), shown->y->locale()), true);
}

} // namespace prismeta
