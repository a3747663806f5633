#pragma once

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace prismeta {

// A row of joined, mutually exclusive buttons, one per option (wrapped into
// rows of perRow when given, so long labels keep their room); exactly one
// is on. setCurrentIndex() (the model's side) emits nothing; every other way
// of turning a segment on (pointer, keyboard, the Toggle action of assistive
// technology, a button's own setChecked) is reported once as activated.
//
// Interface thread only; owned by its parent widget.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr, int perRow = 0);

    int currentIndex() const;
    void setCurrentIndex(int index);
    int count() const;
    QAbstractButton* button(int index) const;

signals:
    void activated(int index);

private:
    QButtonGroup* group_;
};

} // namespace prismeta
