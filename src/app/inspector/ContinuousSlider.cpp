#include "app/inspector/ContinuousSlider.h"

#include "app/inspector/FocusedWheel.h"

#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <utility>

namespace prismeta {

ContinuousSlider::ContinuousSlider(double minimum, double maximum, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), minimum_(minimum), maximum_(maximum) {
    setRange(0, steps);
    setSingleStep(steps / 100);
    setPageStep(steps / 10);
    setTracking(true);
    takeWheelOnlyWhenFocused(this);
    // Signals from the model's side are blocked, so every change here is the
    // user's.
    connect(this, &QSlider::valueChanged, this, [this] { emit valueEdited(currentValue()); });
    connect(this, &QSlider::sliderReleased, this, [this] {
        if (const std::optional<double> value = std::exchange(heldBack_, std::nullopt)) {
            showValue(*value);
        }
    });
}

double ContinuousSlider::currentValue() const {
    return minimum_ + (maximum_ - minimum_) * (static_cast<double>(value()) / steps);
}

int ContinuousSlider::positionFor(double value) const {
    const double span = maximum_ - minimum_;
    if (std::isnan(value) || span <= 0.0) {
        return 0;
    }
    const double fraction = std::clamp((value - minimum_) / span, 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * steps));
}

void ContinuousSlider::showValue(double value) {
    if (isSliderDown()) {
        heldBack_ = value;
        return;
    }
    heldBack_.reset();
    const int position = positionFor(value);
    if (position != this->value()) {
        const QSignalBlocker blocker(this);
        setValue(position);
    }
}

} // namespace prismeta
