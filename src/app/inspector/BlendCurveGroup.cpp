#include "app/inspector/BlendCurveGroup.h"

#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/FieldUpdates.h"
#include "app/inspector/FocusedWheel.h"
#include "app/inspector/InspectorStyle.h"
#include "core/BlendCurve.h"
#include "core/ProjectModel.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>
#include <initializer_list>

namespace prismeta {

namespace {

constexpr int curveDecimals = 2;
constexpr int blackDecimals = 3;

QDoubleSpinBox* makeBox(double minimum, double maximum, int decimals, double step,
                        const QString& name, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    // Typing commits on Return or leaving the box; arrows and the wheel at once.
    box->setKeyboardTracking(false);
    box->setAccelerated(true);
    box->setAccessibleName(name);
    box->setToolTip(name);
    if (QLineEdit* text = box->findChild<QLineEdit*>()) {
        text->setAccessibleName(name);
    }
    return box;
}

QLineEdit* textOf(QDoubleSpinBox* box) {
    return box->findChild<QLineEdit*>();
}

// The model's value in the box, unless the user is typing there.
void showBoxValue(QDoubleSpinBox* box, double value) {
    if (QLineEdit* text = textOf(box); text && isBeingEdited(text)) {
        return;
    }
    if (box->value() != value || std::isnan(value)) {
        const QSignalBlocker blocker(box);
        box->setValue(std::isnan(value) ? box->minimum() : value);
    }
}

// After a commit the box shows the model again, so later model changes reach it.
void forgetTyping(QDoubleSpinBox* box) {
    if (QLineEdit* text = textOf(box)) {
        text->setModified(false);
    }
}

// A slider position as the number its box shows, so what is stored is what
// is seen.
double roundedTo(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

float& channel(BlackLevel& level, BlendCurveGroup::Channel c) {
    switch (c) {
    case BlendCurveGroup::Channel::red:
        return level.r;
    case BlendCurveGroup::Channel::green:
        return level.g;
    case BlendCurveGroup::Channel::blue:
        break;
    }
    return level.b;
}

} // namespace

BlendCurveGroup::BlendCurveGroup(ProjectModel& model, const OutputConfig& output, QWidget* parent)
    : QWidget(parent), model_(model), id_(output.id) {
    setObjectName(QStringLiteral("blendCurveGroup"));
    setAccessibleName(tr("Blend Curve"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(makeLabel(tr("Blend Curve"), TextStyle::smallCaption, Tone::secondary, this));

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    const auto caption = [this, grid](const QString& text, int row, QWidget* buddy) {
        QLabel* label = makeLabel(text, TextStyle::smallCaption, Tone::tertiary, this);
        label->setBuddy(buddy);
        grid->addWidget(label, row, 0);
    };

    curveSlider_ = new ContinuousSlider(minBlendCurve, maxBlendCurve, this);
    curveSlider_->setObjectName(QStringLiteral("blendCurveSlider"));
    curveSlider_->setAccessibleName(tr("Blend curve"));
    curveBox_ = makeBox(minBlendCurve, maxBlendCurve, curveDecimals, 0.05, tr("Blend curve"), this);
    curveBox_->setObjectName(QStringLiteral("blendCurveBox"));
    caption(tr("Curve"), 0, curveBox_);
    grid->addWidget(curveSlider_, 0, 1);
    grid->addWidget(curveBox_, 0, 2);

    gammaSlider_ = new ContinuousSlider(minBlendGamma, maxBlendGamma, this);
    gammaSlider_->setObjectName(QStringLiteral("blendGammaSlider"));
    gammaSlider_->setAccessibleName(tr("Blend gamma"));
    gammaBox_ = makeBox(minBlendGamma, maxBlendGamma, curveDecimals, 0.05, tr("Blend gamma"), this);
    gammaBox_->setObjectName(QStringLiteral("blendGammaBox"));
    caption(tr("Gamma"), 1, gammaBox_);
    grid->addWidget(gammaSlider_, 1, 1);
    grid->addWidget(gammaBox_, 1, 2);

    link_ = new QCheckBox(tr("Link channels"), this);
    link_->setObjectName(QStringLiteral("blackLevelLinkBox"));
    link_->setAccessibleName(tr("Link black level channels"));
    const BlackLevel& level = output.blackLevel;
    link_->setChecked(level.r == level.g && level.g == level.b);
    applyTextStyle(link_, TextStyle::smallCaption, Tone::secondary);

    auto* channels = new QHBoxLayout;
    channels->setSpacing(4);
    const std::array<QString, 3> prefixes = {tr("R "), tr("G "), tr("B ")};
    const std::array<QString, 3> names = {tr("Black level red"), tr("Black level green"),
                                          tr("Black level blue")};
    const std::array<QString, 3> objectNames = {QStringLiteral("blackLevelRedBox"),
                                                QStringLiteral("blackLevelGreenBox"),
                                                QStringLiteral("blackLevelBlueBox")};
    for (std::size_t i = 0; i < black_.size(); ++i) {
        QDoubleSpinBox* box = makeBox(0.0, maxBlackLevel, blackDecimals, 0.001, names[i], this);
        box->setObjectName(objectNames[i]);
        box->setPrefix(prefixes[i]);
        // Plain fields like the blend widths: arrow keys and the wheel step.
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        channels->addWidget(box, 1);
        black_[i] = box;
        const auto c = static_cast<Channel>(i);
        connect(box, &QDoubleSpinBox::valueChanged, this,
                [this, c](double value) { editBlackLevel(c, value); });
    }
    caption(tr("Black"), 2, black_[0]);
    grid->addLayout(channels, 2, 1, 1, 2);
    grid->addWidget(link_, 3, 1, 1, 2);
    column->addLayout(grid);

    blendTest_ = new QCheckBox(tr("Blend Test"), this);
    blendTest_->setObjectName(QStringLiteral("blendTestBox"));
    blendTest_->setAccessibleName(tr("Blend Test"));
    blendTest_->setToolTip(tr("Show flat grey and black through this output's blend instead of "
                              "the canvas, to match the overlap by eye"));
    applyTextStyle(blendTest_, TextStyle::smallCaption, Tone::secondary);
    column->addWidget(blendTest_);

    connect(curveSlider_, &ContinuousSlider::valueEdited, this, [this](double value) {
        const double shown = roundedTo(value, curveDecimals);
        edit([shown](OutputConfig& o) { o.blendCurve = static_cast<float>(shown); });
    });
    connect(curveBox_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        edit([value](OutputConfig& o) { o.blendCurve = static_cast<float>(value); });
        forgetTyping(curveBox_);
    });
    connect(gammaSlider_, &ContinuousSlider::valueEdited, this, [this](double value) {
        const double shown = roundedTo(value, curveDecimals);
        edit([shown](OutputConfig& o) { o.blendGamma = static_cast<float>(shown); });
    });
    connect(gammaBox_, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        edit([value](OutputConfig& o) { o.blendGamma = static_cast<float>(value); });
        forgetTyping(gammaBox_);
    });
    connect(blendTest_, &QCheckBox::clicked, this,
            [this](bool checked) { model_.setBlendTest(id_, checked); });

    // The sliders take the wheel only once the user is in them; so do the
    // boxes: a projector's blend must not change under a passing wheel.
    for (QWidget* box :
         std::initializer_list<QWidget*>{curveBox_, gammaBox_, black_[0], black_[1], black_[2]}) {
        takeWheelOnlyWhenFocused(box);
    }

    showOutput(output, model_.blendTest(id_));
}

template <typename Change> void BlendCurveGroup::edit(Change&& change) {
    const std::vector<OutputConfig>& outputs = model_.outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].id == id_) {
            OutputConfig output = outputs[i];
            change(output);
            output.blendCurve = blendCurveInRange(output.blendCurve);
            output.blendGamma = blendGammaInRange(output.blendGamma);
            output.blackLevel = blackLevelInRange(output.blackLevel);
            if (!(output == outputs[i])) {
                model_.replaceOutput(i, std::move(output));
            }
            return;
        }
    }
}

void BlendCurveGroup::editBlackLevel(Channel c, double value) {
    const auto level = static_cast<float>(value);
    const bool linked = link_->isChecked();
    edit([c, level, linked](OutputConfig& o) {
        if (linked) {
            o.blackLevel = {level, level, level};
        } else {
            channel(o.blackLevel, c) = level;
        }
    });
    forgetTyping(blackLevelBox(c));
}

void BlendCurveGroup::showOutput(const OutputConfig& output, bool blendTest) {
    const float curve = blendCurveInRange(output.blendCurve);
    const float gamma = blendGammaInRange(output.blendGamma);
    curveSlider_->showValue(curve);
    showBoxValue(curveBox_, curve);
    gammaSlider_->showValue(gamma);
    showBoxValue(gammaBox_, gamma);
    BlackLevel level = blackLevelInRange(output.blackLevel);
    for (std::size_t i = 0; i < black_.size(); ++i) {
        showBoxValue(black_[i], channel(level, static_cast<Channel>(i)));
    }
    if (blendTest_->isChecked() != blendTest) {
        const QSignalBlocker blocker(blendTest_);
        blendTest_->setChecked(blendTest);
    }
}

} // namespace prismeta
