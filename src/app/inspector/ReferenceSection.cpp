#include "app/inspector/ReferenceSection.h"

#include "app/ModelAdapter.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/InspectorDialogs.h"
#include "app/inspector/InspectorIcons.h"
#include "app/inspector/InspectorStyle.h"
#include "core/ProjectModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace prismeta {

ReferenceSection::ReferenceSection(ProjectModel& model, InspectorDialogs& dialogs, QWidget* parent)
    : QWidget(parent), model_(model), dialogs_(dialogs) {
    setObjectName(QStringLiteral("referenceSection"));
    setAccessibleName(tr("Reference"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->addWidget(makeLabel(tr("Reference"), TextStyle::headline, Tone::primary, this));
    header->addStretch(1);
    snap_ = new QCheckBox(tr("Snap"), this);
    snap_->setObjectName(QStringLiteral("snapSwitch"));
    snap_->setAccessibleName(tr("Snap"));
    snap_->setToolTip(tr("Snap dragged corners and mesh points to the grid"));
    applyTextStyle(snap_, TextStyle::caption);
    header->addWidget(snap_);
    column->addLayout(header);

    auto* buttons = new QHBoxLayout;
    choose_ = new QPushButton(inspectorIcon(InspectorIcon::imageKind), QString(), this);
    choose_->setObjectName(QStringLiteral("chooseReferenceButton"));
    clear_ = new QPushButton(tr("Clear"), this);
    clear_->setObjectName(QStringLiteral("clearReferenceButton"));
    clear_->setAccessibleName(tr("Clear"));
    buttons->addWidget(choose_);
    buttons->addWidget(clear_);
    buttons->addStretch(1);
    column->addLayout(buttons);

    opacityRow_ = new QWidget(this);
    auto* opacityLayout = new QHBoxLayout(opacityRow_);
    opacityLayout->setContentsMargins(0, 0, 0, 0);
    auto* opacityLabel = new QLabel(tr("Opacity"), opacityRow_);
    opacity_ = new ContinuousSlider(0.0, 1.0, opacityRow_);
    opacity_->setObjectName(QStringLiteral("referenceOpacitySlider"));
    opacity_->setAccessibleName(tr("Opacity"));
    opacityLabel->setBuddy(opacity_);
    opacityLayout->addWidget(opacityLabel);
    opacityLayout->addWidget(opacity_, 1);
    column->addWidget(opacityRow_);

    // toggled, not clicked: a switch flipped by the keyboard, by assistive
    // technology (its Toggle action) or by code reaches the model too. The
    // model's side sets the box with its signals blocked, so nothing echoes.
    connect(snap_, &QCheckBox::toggled, this,
            [this](bool checked) { model_.setSnapEnabled(checked); });
    connect(choose_, &QPushButton::clicked, this, &ReferenceSection::chooseImage);
    connect(clear_, &QPushButton::clicked, this,
            [this] { model_.setBackgroundImagePath(std::nullopt); });
    connect(opacity_, &ContinuousSlider::valueEdited, this,
            [this](double value) { model_.setBackgroundOpacity(value); });
}

void ReferenceSection::chooseImage() {
    if (std::optional<std::string> path = dialogs_.chooseFile(MediaFileType::image)) {
        model_.setBackgroundImagePath(std::move(*path));
    }
}

void ReferenceSection::refresh(const ModelChanges& changes) {
    if (changes.has(ModelField::snapEnabled)) {
        const QSignalBlocker blocker(snap_);
        snap_->setChecked(model_.snapEnabled());
    }
    if (changes.has(ModelField::backgroundImagePath)) {
        const bool hasImage = model_.backgroundImagePath().has_value();
        const QString label = hasImage ? tr("Change\u2026") : tr("Choose\u2026");
        choose_->setText(label);
        choose_->setAccessibleName(label);
        clear_->setVisible(hasImage);
        opacityRow_->setVisible(hasImage);
    }
    if (changes.has(ModelField::backgroundImagePath) ||
        changes.has(ModelField::backgroundOpacity)) {
        opacity_->showValue(model_.backgroundOpacity());
    }
}

} // namespace prismeta
