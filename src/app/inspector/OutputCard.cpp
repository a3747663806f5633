#include "app/inspector/OutputCard.h"

#include "app/cluster/ShowNodes.h"
#include "app/inspector/BlendCurveGroup.h"
#include "app/inspector/DisplayPicker.h"
#include "app/inspector/ElidedLabel.h"
#include "app/inspector/FieldKeys.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/FocusedWheel.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "app/inspector/MasksSection.h"
#include "app/inspector/NumberFields.h"
#include "app/inspector/WarpGroup.h"
#include "cluster/ClusterTopics.h"
#include "core/ProjectModel.h"
#include "masks/MaskPresets.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace prismeta {

namespace {

constexpr std::array<OutputCard::Edge, 4> edges = {OutputCard::Edge::left, OutputCard::Edge::right,
                                                   OutputCard::Edge::top, OutputCard::Edge::bottom};
const std::array<const char*, 4> edgeLabels = {"L", "R", "T", "B"};
constexpr std::array<OutputCard::Crop, 4> cropParts = {
    OutputCard::Crop::x, OutputCard::Crop::y, OutputCard::Crop::width, OutputCard::Crop::height};
const std::array<const char*, 4> cropLabels = {"X", "Y", "W", "H"};
const std::array<const char*, 4> cropNames = {
    QT_TRANSLATE_NOOP("OutputCard", "Crop x"), QT_TRANSLATE_NOOP("OutputCard", "Crop y"),
    QT_TRANSLATE_NOOP("OutputCard", "Crop width"), QT_TRANSLATE_NOOP("OutputCard", "Crop height")};

// A caption and its short field, as the crop and blend rows lay them out.
QLineEdit* addShortField(QHBoxLayout* row, const QString& label, QWidget* parent) {
    auto* pair = new QHBoxLayout;
    pair->setSpacing(2);
    auto* name = makeLabel(label, TextStyle::smallCaption, Tone::tertiary, parent);
    auto* field = new QLineEdit(parent);
    // 44 wide where the panel has room; a little less at its narrowest.
    field->setMinimumWidth(34);
    field->setMaximumWidth(44);
    installFieldKeys(field);
    name->setBuddy(field);
    pair->addWidget(name);
    pair->addWidget(field);
    row->addLayout(pair);
    return field;
}

// The node list's data for the leader, which has no node name.
const QString leaderItem;

} // namespace

float& cropValue(OutputConfig& output, OutputCard::Crop part) {
    switch (part) {
    case OutputCard::Crop::x:
        return output.cropX;
    case OutputCard::Crop::y:
        return output.cropY;
    case OutputCard::Crop::width:
        return output.cropWidth;
    case OutputCard::Crop::height:
        break;
    }
    return output.cropHeight;
}

float cropValue(const OutputConfig& output, OutputCard::Crop part) {
    // Only reads through the reference.
    return cropValue(const_cast<OutputConfig&>(output), part);
}

float& blendWidth(OutputConfig& output, OutputCard::Edge edge) {
    switch (edge) {
    case OutputCard::Edge::left:
        return output.blendLeft;
    case OutputCard::Edge::right:
        return output.blendRight;
    case OutputCard::Edge::top:
        return output.blendTop;
    case OutputCard::Edge::bottom:
        break;
    }
    return output.blendBottom;
}

float blendWidth(const OutputConfig& output, OutputCard::Edge edge) {
    // Only reads through the reference.
    return blendWidth(const_cast<OutputConfig&>(output), edge);
}

OutputCard::OutputCard(ProjectModel& model, const OutputConfig& output, QWidget* parent,
                       InspectorDialogs* dialogs)
    : QFrame(parent), model_(model), id_(output.id) {
    setObjectName(QStringLiteral("outputCard"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);

    auto* top = new QHBoxLayout;
    nameLabel_ = new ElidedLabel(Qt::ElideRight, this);
    nameLabel_->setObjectName(QStringLiteral("outputName"));
    QFont medium = nameLabel_->font();
    medium.setWeight(QFont::Medium);
    nameLabel_->setFont(medium);
    nameLabel_->installEventFilter(this);
    nameField_ = new QLineEdit(this);
    nameField_->setObjectName(QStringLiteral("outputNameField"));
    nameField_->setPlaceholderText(tr("Name"));
    nameField_->setAccessibleName(tr("Name"));
    installFieldKeys(nameField_);
    nameField_->hide();
    top->addWidget(nameLabel_, 1);
    top->addWidget(nameField_, 1);

    open_ = new QToolButton(this);
    open_->setObjectName(QStringLiteral("openOutputButton"));
    open_->setIcon(inspectorIcon(InspectorIcon::openOutput));
    open_->setToolTip(tr("Open this output's window"));
    open_->setAccessibleName(tr("Open this output's window"));
    open_->setAutoRaise(true);
    delete_ = new QToolButton(this);
    delete_->setObjectName(QStringLiteral("deleteOutputButton"));
    delete_->setIcon(inspectorIcon(InspectorIcon::deleteOutput));
    delete_->setAccessibleName(tr("Delete output"));
    delete_->setAutoRaise(true);
    top->addWidget(open_);
    top->addWidget(delete_);
    column->addLayout(top);

    auto* cropRow = new QHBoxLayout;
    cropRow->setSpacing(4);
    cropRow->addWidget(makeLabel(tr("Crop"), TextStyle::smallCaption, Tone::secondary, this));
    for (Crop part : cropParts) {
        const auto i = static_cast<std::size_t>(part);
        const QString label = QString::fromLatin1(cropLabels[i]);
        QLineEdit* field = addShortField(cropRow, label, this);
        field->setObjectName(QStringLiteral("crop%1Field").arg(label));
        field->setAccessibleName(tr(cropNames[i]));
        field->setToolTip(tr(cropNames[i]) + tr(", in canvas coordinates"));
        connect(field, &QLineEdit::editingFinished, this, [this, part] { commitCrop(part); });
        crop_[i] = field;
    }
    cropRow->addStretch(1);
    column->addLayout(cropRow);

    auto* blendRow = new QHBoxLayout;
    blendRow->setSpacing(4);
    blendRow->addWidget(makeLabel(tr("Blend"), TextStyle::smallCaption, Tone::secondary, this));
    for (Edge edge : edges) {
        const auto i = static_cast<std::size_t>(edge);
        const QString label = QString::fromLatin1(edgeLabels[i]);
        QLineEdit* field = addShortField(blendRow, label, this);
        field->setObjectName(QStringLiteral("blend%1Field").arg(label));
        field->setAccessibleName(label);
        connect(field, &QLineEdit::editingFinished, this, [this, edge] { commitBlend(edge); });
        blend_[i] = field;
    }
    blendRow->addStretch(1);
    column->addLayout(blendRow);

    blendCurve_ = new BlendCurveGroup(model_, output, this);
    column->addWidget(blendCurve_);

    auto* nodeRow = new QHBoxLayout;
    nodeRow->setSpacing(4);
    auto* nodeCaption = makeLabel(tr("Node"), TextStyle::smallCaption, Tone::secondary, this);
    node_ = new QComboBox(this);
    node_->setObjectName(QStringLiteral("outputNodeField"));
    node_->setEditable(true);
    node_->setInsertPolicy(QComboBox::NoInsert);
    node_->setAccessibleName(tr("Node"));
    // Screen readers reach the field itself, not only its combo box.
    node_->lineEdit()->setAccessibleName(tr("Node"));
    node_->setToolTip(tr("The machine of the show that shows this output; empty: the leader"));
    node_->lineEdit()->setPlaceholderText(tr("Leader"));
    // Long node lists must not widen the inspector.
    node_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    node_->setMinimumContentsLength(10);
    takeWheelOnlyWhenFocused(node_);
    installFieldKeys(node_->lineEdit());
    nodeCaption->setBuddy(node_);
    nodeRow->addWidget(nodeCaption);
    nodeRow->addWidget(node_, 1);
    column->addLayout(nodeRow);
    connect(node_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (node_->lineEdit()->isModified()) {
            commitNode(node_->lineEdit()->text());
        }
    });
    connect(node_, &QComboBox::activated, this,
            [this](int index) { commitNode(node_->itemData(index).toString()); });
    listNodes();

    auto* displayRow = new QHBoxLayout;
    displayRow->setSpacing(4);
    auto* displayCaption = makeLabel(tr("Display"), TextStyle::smallCaption, Tone::secondary, this);
    display_ = new DisplayPicker(this);
    displayCaption->setBuddy(display_);
    displayRow->addWidget(displayCaption);
    displayRow->addWidget(display_, 1);
    column->addLayout(displayRow);
    connect(display_, &DisplayPicker::displayChosen, this,
            [this](const std::optional<OutputDisplay>& display) {
                edit([&display](OutputConfig& o) { o.display = display; });
            });

    warp_ = new WarpGroup(model_, dialogs, output, this);
    column->addWidget(warp_);
    connect(warp_, &WarpGroup::windowWanted, this, &OutputCard::openRequested);

    MasksSection::Hooks hooks;
    hooks.read = [this]() -> std::optional<std::vector<Mask>> {
        for (const OutputConfig& o : model_.outputs()) {
            if (o.id == id_) {
                return o.masks;
            }
        }
        return std::nullopt;
    };
    hooks.write = [this](std::vector<Mask> masks) {
        edit([&masks](OutputConfig& o) { o.masks = std::move(masks); });
    };
    // Adding, removing and reordering masks are undo steps of the output, as
    // gestures on them are.
    hooks.beforeListEdit = [this](const std::string& step) {
        model_.pushOutputUndo(std::vector<Uuid>{id_}, OutputPart::masks, step);
    };
    // A new output mask fills the output's part of the canvas.
    hooks.makePreset = [this](MaskPreset preset) {
        return makeMaskPreset(preset, shown_.cropX, shown_.cropY, shown_.cropWidth,
                              shown_.cropHeight);
    };
    masks_ = new MasksSection(std::move(hooks), this);
    masks_->setObjectName(QStringLiteral("outputMasksSection"));
    column->addWidget(masks_);

    connect(nameField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        edit([&text](OutputConfig& o) { o.name = text.toStdString(); });
    });
    connect(nameField_, &QLineEdit::returnPressed, this, &OutputCard::renameFinished);
    connect(open_, &QToolButton::clicked, this, [this] { emit openRequested(id_); });
    connect(delete_, &QToolButton::clicked, this, &OutputCard::removeOutput);

    showOutput(output, 0, false);
}

template <typename Change> void OutputCard::edit(Change&& change) {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    std::size_t index = index_;
    if (index >= outputs.size() || outputs[index].id != id_) {
        index = 0;
        while (index < outputs.size() && outputs[index].id != id_) {
            ++index;
        }
        if (index == outputs.size()) {
            return; // the output is gone
        }
    }
    OutputConfig output = outputs[index];
    change(output);
    model_.replaceOutput(index, std::move(output));
}

void OutputCard::removeOutput() {
    // Every output with the id, the others kept in order; no confirmation.
    std::vector<OutputConfig> outputs = model_.outputs();
    std::erase_if(outputs, [this](const OutputConfig& o) { return o.id == id_; });
    model_.setOutputs(std::move(outputs));
}

void OutputCard::setShowNodes(const ShowNodes* nodes) {
    if (nodes == nodes_) {
        return;
    }
    if (nodes_ != nullptr) {
        disconnect(nodes_, nullptr, this, nullptr);
    }
    nodes_ = nodes;
    if (nodes_ != nullptr) {
        connect(nodes_, &ShowNodes::changed, this, [this] {
            listNodes();
            showNode(shown_);
        });
    }
    listNodes();
    showNode(shown_);
}

void OutputCard::setModelAdapter(ModelAdapter* adapter) {
    warp_->setModelAdapter(adapter);
}

void OutputCard::listNodes() {
    // The text being typed survives the new list.
    QLineEdit* field = node_->lineEdit();
    const QString text = field->text();
    const bool typed = field->isModified();
    const int caret = field->cursorPosition();
    const QSignalBlocker blocker(node_);
    node_->clear();
    node_->addItem(tr("Leader"), leaderItem);
    if (nodes_ != nullptr) {
        for (const ShowNodes::Node& node : nodes_->nodes()) {
            const QString name = QString::fromStdString(node.name);
            node_->addItem(node.online ? name : tr("%1 (offline)").arg(name), name);
        }
    }
    node_->setCurrentIndex(-1);
    field->setText(text);
    field->setModified(typed);
    field->setCursorPosition(caret);
}

void OutputCard::commitNode(const QString& text) {
    const QString name = text.trimmed();
    const std::string chosen = name.toStdString();
    std::optional<std::string> node;
    if (!name.isEmpty()) {
        node = chosen;
    }
    // The same node chosen again changes nothing (and marks nothing changed).
    if ((!node || ClusterTopics::isNodeName(chosen)) && node != shown_.node) {
        edit([&node](OutputConfig& o) { o.node = node; });
        shown_.node = node;
    }
    // A name no machine can have gives way to the stored one.
    showFieldText(node_->lineEdit(), QString::fromStdString(shown_.node.value_or("")), true);
    showNode(shown_);
}

void OutputCard::showNode(const OutputConfig& output) {
    showFieldText(node_->lineEdit(), QString::fromStdString(output.node.value_or("")));
    std::optional<DisplayPicker::Node> node;
    if (output.node) {
        node = DisplayPicker::Node{*output.node, {}};
        if (nodes_ != nullptr) {
            if (const ShowNodes::Node* seen = nodes_->find(*output.node)) {
                node->screens = seen->screens;
            }
        }
    }
    display_->showNode(node);
}

void OutputCard::commitCrop(Crop part) {
    QLineEdit* field = cropField(part);
    // As the blend fields: only typing stores, and what is stored shows.
    if (!field->isModified()) {
        return;
    }
    if (const std::optional<float> value = parseCoordinate(field->text(), field->locale())) {
        edit([part, value](OutputConfig& o) { cropValue(o, part) = *value; });
        cropValue(shown_, part) = *value;
    }
    showFieldText(field, formatCoordinate(cropValue(shown_, part), field->locale()), true);
}

void OutputCard::commitBlend(Edge edge) {
    QLineEdit* field = blendField(edge);
    // Leaving a field that was not typed in stores nothing: it shows the
    // width rounded to a whole percent, not the width.
    if (!field->isModified()) {
        return;
    }
    if (const std::optional<float> width = parsePercent(field->text(), field->locale())) {
        edit([edge, width](OutputConfig& o) { blendWidth(o, edge) = *width; });
        blendWidth(shown_, edge) = *width;
    }
    // Unreadable text gives way to the stored value.
    showFieldText(field, formatPercent(blendWidth(shown_, edge), field->locale()), true);
}

void OutputCard::showOutput(const OutputConfig& output, std::size_t index, bool renaming) {
    index_ = index;
    const QString name = QString::fromStdString(output.name);
    nameLabel_->setFullText(name);
    setAccessibleName(name); // the card's controls are announced under its output
    if (renaming != renaming_) {
        renaming_ = renaming;
        nameLabel_->setVisible(!renaming);
        nameField_->setVisible(renaming);
        if (renaming) {
            showFieldText(nameField_, name, true);
            nameField_->setFocus(Qt::OtherFocusReason);
            nameField_->selectAll();
        }
    } else if (renaming) {
        showFieldText(nameField_, name);
    }
    for (Crop part : cropParts) {
        QLineEdit* field = cropField(part);
        showFieldText(field, formatCoordinate(cropValue(output, part), field->locale()));
    }
    for (Edge edge : edges) {
        QLineEdit* field = blendField(edge);
        showFieldText(field, formatPercent(blendWidth(output, edge), field->locale()));
    }
    blendCurve_->showOutput(output, model_.blendTest(output.id));
    showNode(output);
    display_->showDisplay(output.display);
    warp_->showOutput(output, model_.warpEditing(output.id), model_.warpGrid(output.id));
    masks_->showMasks(output.masks, false);
    shown_ = output;
}

bool OutputCard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nameLabel_ && event->type() == QEvent::MouseButtonDblClick) {
        emit renameRequested(id_);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void OutputCard::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor grey(128, 128, 128);
    grey.setAlphaF(0.12f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(grey);
    painter.drawRoundedRect(QRectF(rect()), 6, 6);
    QFrame::paintEvent(event);
}

} // namespace prismeta
