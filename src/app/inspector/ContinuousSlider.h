#pragma once

#include <QSlider>

#include <optional>

namespace prismeta {

// A horizontal slider over a range of real numbers (QSlider counts in whole
// steps; this one maps a fine step count onto the range).
//
// The model shows its value through showValue(), which emits nothing and
// leaves the slider alone while the user holds its handle, so a drag is never
// reset under the pointer; the latest value shown meanwhile is taken up when
// the handle is let go. Every move by the user (drag, click, keys) is
// reported as valueEdited.
//
// The wheel moves the slider only once the user is in it (clicked or tabbed
// into); otherwise it scrolls the panel around it, so scrolling the inspector
// past a surface's opacity never changes it.
//
// Interface thread only; owned by its parent widget.
class ContinuousSlider : public QSlider {
    Q_OBJECT

public:
    static constexpr int steps = 10000;

    ContinuousSlider(double minimum, double maximum, QWidget* parent = nullptr);

    double minimumValue() const { return minimum_; }
    double maximumValue() const { return maximum_; }
    // The value at the handle's position.
    double currentValue() const;
    // The handle position for a value, clamped to the range (NaN: the start).
    int positionFor(double value) const;

    void showValue(double value);

signals:
    void valueEdited(double value);

private:
    double minimum_;
    double maximum_;
    std::optional<double> heldBack_; // shown while the handle was held
};

} // namespace prismeta
