#pragma once

#include <QWidget>

#include <cstdint>

class QToolButton;

namespace prismeta {

// A pair of buttons that step a whole number by one within a range, with no
// text field of its own (the caption beside it shows the number).
//
// showValue() takes any value, also one outside the range (a loaded mesh may
// be 10 × 10), and neither clamps nor emits: only a press of a button changes
// anything, and its result is brought into the range. A button is disabled
// when it cannot move the value further.
//
// Interface thread only; owned by its parent widget.
class Stepper : public QWidget {
    Q_OBJECT

public:
    // `label` names the buttons for assistive technology ("Columns").
    Stepper(const QString& label, std::int64_t minimum, std::int64_t maximum,
            QWidget* parent = nullptr);

    std::int64_t value() const { return value_; }
    void showValue(std::int64_t value);

    QToolButton* decreaseButton() const { return decrease_; }
    QToolButton* increaseButton() const { return increase_; }

signals:
    void valueEdited(std::int64_t value);

private:
    void step(std::int64_t delta);
    void updateButtons();

    std::int64_t minimum_;
    std::int64_t maximum_;
    std::int64_t value_;
    QToolButton* decrease_;
    QToolButton* increase_;
};

} // namespace prismeta
