#include "app/inspector/Stepper.h"

#include <QHBoxLayout>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace prismeta {

Stepper::Stepper(const QString& label, std::int64_t minimum, std::int64_t maximum, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), value_(minimum) {
    setAccessibleName(label);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const auto makeButton = [this, layout](const QString& text, const QString& name) {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setAccessibleName(name);
        button->setToolTip(name);
        button->setAutoRepeat(true);
        button->setFixedWidth(26);
        layout->addWidget(button);
        return button;
    };
    decrease_ = makeButton(QStringLiteral("\u2212"), tr("Decrease %1").arg(label));
    increase_ = makeButton(QStringLiteral("+"), tr("Increase %1").arg(label));
    connect(decrease_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(increase_, &QToolButton::clicked, this, [this] { step(+1); });
    updateButtons();
}

void Stepper::showValue(std::int64_t value) {
    value_ = value;
    updateButtons();
}

void Stepper::step(std::int64_t delta) {
    // Saturating: a value from a file may sit at the end of the integers.
    std::int64_t next = value_;
    if (delta > 0 && value_ < std::numeric_limits<std::int64_t>::max()) {
        next = value_ + 1;
    } else if (delta < 0 && value_ > std::numeric_limits<std::int64_t>::min()) {
        next = value_ - 1;
    }
    next = std::clamp(next, minimum_, maximum_);
    if (next == value_) {
        return;
    }
    value_ = next;
    updateButtons();
    emit valueEdited(next);
}

void Stepper::updateButtons() {
    decrease_->setEnabled(value_ > minimum_);
    increase_->setEnabled(value_ < maximum_);
}

} // namespace prismeta
