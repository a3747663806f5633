#include "app/inspector/MasksSection.h"

#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/FieldKeys.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "masks/MaskPresets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace prismeta {

namespace {

QString maskFeatherCaption(float feather) {
    const double percent = std::trunc(static_cast<double>(maskFeatherInRange(feather)) * 100.0);
    return QObject::tr("Feather") + QStringLiteral("  ") + QString::number(percent, 'f', 0) +
           QStringLiteral("%");
}

// What the list shows for a mask: its name and what sets it apart.
QString listText(const Mask& mask) {
    QString text = QString::fromStdString(mask.name);
    if (mask.invert) {
        text += QObject::tr("  (inverted)");
    }
    if (!mask.enabled) {
        text += QObject::tr("  (off)");
    }
    return text;
}

QString presetName(MaskPreset preset) {
    const std::string_view name = maskPresetName(preset);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QToolButton* smallButton(const QString& help, const QString& objectName, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

} // namespace

MasksSection::MasksSection(Hooks hooks, QWidget* parent)
    : QWidget(parent), hooks_(std::move(hooks)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(makeLabel(tr("Masks"), TextStyle::subheadline, Tone::secondary, this));

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("maskList"));
    list_->setAccessibleName(tr("Masks"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setMaximumHeight(110);
    column->addWidget(list_);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && static_cast<std::size_t>(row) < shown_.size()) {
            current_ = static_cast<std::size_t>(row);
            showCurrent(true);
            updateButtons();
            emit maskChosen(row);
        }
    });
    // A press on the current row brings its mask back to the editor.
    connect(list_, &QListWidget::itemPressed, this,
            [this](QListWidgetItem* item) { emit maskChosen(list_->row(item)); });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    add_ = smallButton(tr("Add mask"), QStringLiteral("addMaskButton"), this);
    add_->setIcon(inspectorIcon(InspectorIcon::add));
    add_->setPopupMode(QToolButton::InstantPopup);
    addMenu_ = new QMenu(add_);
    for (MaskPreset preset : allMaskPresets) {
        QAction* action = addMenu_->addAction(presetName(preset));
        connect(action, &QAction::triggered, this, [this, preset] { addPreset(preset); });
    }
    add_->setMenu(addMenu_);
    duplicate_ = smallButton(tr("Duplicate mask"), QStringLiteral("duplicateMaskButton"), this);
    duplicate_->setIcon(inspectorIcon(InspectorIcon::duplicate));
    delete_ = smallButton(tr("Delete mask"), QStringLiteral("deleteMaskButton"), this);
    delete_->setIcon(inspectorIcon(InspectorIcon::trash));
    moveUp_ = smallButton(tr("Move mask up"), QStringLiteral("moveMaskUpButton"), this);
    moveUp_->setArrowType(Qt::UpArrow);
    moveDown_ = smallButton(tr("Move mask down"), QStringLiteral("moveMaskDownButton"), this);
    moveDown_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {add_, duplicate_, delete_, moveUp_, moveDown_}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    column->addLayout(buttons);

    connect(duplicate_, &QToolButton::clicked, this, [this] {
        editList("Duplicate Mask",
                 [](std::vector<Mask>& masks, std::size_t at) -> std::optional<std::size_t> {
                     Mask copy = masks[at];
                     copy.name += " copy";
                     masks.insert(masks.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                  std::move(copy));
                     return at + 1;
                 });
    });
    connect(delete_, &QToolButton::clicked, this, [this] {
        editList("Delete Mask",
                 [](std::vector<Mask>& masks, std::size_t at) -> std::optional<std::size_t> {
                     masks.erase(masks.begin() + static_cast<std::ptrdiff_t>(at));
                     return masks.empty() ? 0 : std::min(at, masks.size() - 1);
                 });
    });
    connect(moveUp_, &QToolButton::clicked, this, [this] {
        editList("Move Mask Up",
                 [](std::vector<Mask>& masks, std::size_t at) -> std::optional<std::size_t> {
                     if (at == 0) {
                         return std::nullopt;
                     }
                     std::swap(masks[at - 1], masks[at]);
                     return at - 1;
                 });
    });
    connect(moveDown_, &QToolButton::clicked, this, [this] {
        editList("Move Mask Down",
                 [](std::vector<Mask>& masks, std::size_t at) -> std::optional<std::size_t> {
                     if (at + 1 >= masks.size()) {
                         return std::nullopt;
                     }
                     std::swap(masks[at], masks[at + 1]);
                     return at + 1;
                 });
    });

    fields_ = new QWidget(this);
    auto* fieldColumn = new QVBoxLayout(fields_);
    fieldColumn->setContentsMargins(0, 0, 0, 0);
    fieldColumn->setSpacing(6);
    name_ = new QLineEdit(fields_);
    name_->setObjectName(QStringLiteral("maskNameField"));
    name_->setPlaceholderText(tr("Mask Name"));
    name_->setAccessibleName(tr("Mask Name"));
    installFieldKeys(name_);
    fieldColumn->addWidget(name_);
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
        editCurrent([&text](Mask& mask) { mask.name = text.toStdString(); });
    });
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        // Done typing: the field shows the model again.
        if (current_ < shown_.size()) {
            showFieldText(name_, QString::fromStdString(shown_[current_].name), true);
        }
    });

    auto* flags = new QHBoxLayout;
    enabled_ = new QCheckBox(tr("Enabled"), fields_);
    enabled_->setObjectName(QStringLiteral("maskEnabledCheckBox"));
    invert_ = new QCheckBox(tr("Invert"), fields_);
    invert_->setObjectName(QStringLiteral("maskInvertCheckBox"));
    enabled_->setAccessibleName(tr("Mask Enabled"));
    invert_->setAccessibleName(tr("Invert Mask"));
    flags->addWidget(enabled_);
    flags->addWidget(invert_);
    flags->addStretch(1);
    fieldColumn->addLayout(flags);
    connect(enabled_, &QCheckBox::toggled, this,
            [this](bool on) { editCurrent([on](Mask& mask) { mask.enabled = on; }); });
    connect(invert_, &QCheckBox::toggled, this,
            [this](bool on) { editCurrent([on](Mask& mask) { mask.invert = on; }); });

    featherCaption_ = makeLabel(QString(), TextStyle::caption, Tone::secondary, fields_);
    feather_ = new ContinuousSlider(0.0, static_cast<double>(Mask::maxFeather), fields_);
    feather_->setObjectName(QStringLiteral("maskFeatherSlider"));
    feather_->setAccessibleName(tr("Mask Feather"));
    featherCaption_->setBuddy(feather_);
    fieldColumn->addWidget(featherCaption_);
    fieldColumn->addWidget(feather_);
    connect(feather_, &ContinuousSlider::valueEdited, this, [this](double value) {
        editCurrent([value](Mask& mask) { mask.feather = static_cast<float>(value); });
    });
    column->addWidget(fields_);

    fields_->hide();
    updateButtons();
}

std::optional<std::size_t> MasksSection::currentMask() const {
    if (current_ < shown_.size()) {
        return current_;
    }
    return std::nullopt;
}

void MasksSection::setCurrentMask(std::size_t index) {
    if (index < shown_.size()) {
        list_->setCurrentRow(static_cast<int>(index));
    }
}

void MasksSection::choose(std::size_t index) {
    current_ = index;
    emit maskChosen(static_cast<int>(index));
}

void MasksSection::addPreset(MaskPreset preset) {
    const std::optional<std::vector<Mask>> masks = hooks_.read();
    if (!masks) {
        return;
    }
    // A new mask goes at the end of the list and becomes the current one.
    std::vector<Mask> edited = *masks;
    edited.push_back(hooks_.makePreset(preset));
    current_ = edited.size() - 1;
    hooks_.beforeListEdit("Add Mask");
    hooks_.write(std::move(edited));
    emit maskChosen(static_cast<int>(current_));
}

void MasksSection::editList(
    const std::string& step,
    const std::function<std::optional<std::size_t>(std::vector<Mask>&, std::size_t)>& change) {
    const std::optional<std::vector<Mask>> masks = hooks_.read();
    if (!masks || current_ >= masks->size()) {
        return;
    }
    std::vector<Mask> edited = *masks;
    const std::optional<std::size_t> next = change(edited, current_);
    if (!next) {
        return;
    }
    current_ = *next;
    const bool any = current_ < edited.size();
    hooks_.beforeListEdit(step);
    hooks_.write(std::move(edited));
    emit maskChosen(any ? static_cast<int>(current_) : -1);
}

void MasksSection::editCurrent(const std::function<void(Mask&)>& change) {
    const std::optional<std::vector<Mask>> masks = hooks_.read();
    if (!masks || current_ >= masks->size()) {
        return;
    }
    std::vector<Mask> edited = *masks;
    change(edited[current_]);
    if (edited != *masks) {
        hooks_.write(std::move(edited));
    }
}

void MasksSection::showMasks(const std::vector<Mask>& masks, bool otherRecord) {
    if (otherRecord) {
        current_ = 0;
    }
    if (!masks.empty() && current_ >= masks.size()) {
        current_ = masks.size() - 1;
    }
    // A list operation moves the current mask or changes the count: the
    // fields show another mask.
    const bool otherMask = otherRecord || masks.size() != shown_.size() ||
                           list_->currentRow() != static_cast<int>(current_);
    shown_ = masks;
    {
        const QSignalBlocker blocker(list_);
        while (list_->count() > static_cast<int>(masks.size())) {
            delete list_->takeItem(list_->count() - 1);
        }
        for (std::size_t i = 0; i < masks.size(); ++i) {
            const QString text = listText(masks[i]);
            if (static_cast<int>(i) < list_->count()) {
                if (list_->item(static_cast<int>(i))->text() != text) {
                    list_->item(static_cast<int>(i))->setText(text);
                }
            } else {
                list_->addItem(text);
            }
        }
        list_->setCurrentRow(masks.empty() ? -1 : static_cast<int>(current_));
    }
    showCurrent(otherMask);
    updateButtons();
    if (otherRecord) {
        emit maskChosen(masks.empty() ? -1 : static_cast<int>(current_));
    }
}

void MasksSection::showCurrent(bool otherMask) {
    fields_->setVisible(current_ < shown_.size());
    if (current_ >= shown_.size()) {
        return;
    }
    const Mask& mask = shown_[current_];
    showFieldText(name_, QString::fromStdString(mask.name), otherMask);
    {
        const QSignalBlocker enabledBlocker(enabled_);
        const QSignalBlocker invertBlocker(invert_);
        enabled_->setChecked(mask.enabled);
        invert_->setChecked(mask.invert);
    }
    featherCaption_->setText(maskFeatherCaption(mask.feather));
    feather_->showValue(static_cast<double>(maskFeatherInRange(mask.feather)));
}

void MasksSection::updateButtons() {
    const bool any = current_ < shown_.size();
    duplicate_->setEnabled(any);
    delete_->setEnabled(any);
    moveUp_->setEnabled(any && current_ > 0);
    moveDown_->setEnabled(any && current_ + 1 < shown_.size());
}

} // namespace prismeta
