#include "app/inspector/SegmentedControl.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

namespace prismeta {

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent, int perRow)
    : QWidget(parent), group_(new QButtonGroup(this)) {
    group_->setExclusive(true);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const int columns = perRow > 0 ? perRow : std::max(1, static_cast<int>(labels.size()));
    for (int i = 0; i < labels.size(); ++i) {
        auto* segment = new QToolButton(this);
        segment->setText(labels[i]);
        segment->setAccessibleName(labels[i]);
        segment->setCheckable(true);
        segment->setToolButtonStyle(Qt::ToolButtonTextOnly);
        // Each segment as wide as its label where the row has room; a
        // narrow panel squeezes them in proportion.
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        segment->setMinimumWidth(24);
        layout->addWidget(segment, i / columns, i % columns);
        group_->addButton(segment, i);
    }
    // A segment turned on, however: the one turned off at the same time is
    // not news.
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            emit activated(id);
        }
    });
}

int SegmentedControl::currentIndex() const {
    return group_->checkedId();
}

void SegmentedControl::setCurrentIndex(int index) {
    if (QAbstractButton* segment = group_->button(index)) {
        if (!segment->isChecked()) {
            const QSignalBlocker blocker(group_);
            segment->setChecked(true);
        }
    }
}

int SegmentedControl::count() const {
    return static_cast<int>(group_->buttons().size());
}

QAbstractButton* SegmentedControl::button(int index) const {
    return group_->button(index);
}

} // namespace prismeta
