#include "app/inspector/DisplayPicker.h"

#include "app/inspector/FocusedWheel.h"
#include "placement/ScreenMatch.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>

namespace prismeta {

namespace {

// Item data: a connected screen's index in the snapshot, or one of these.
constexpr int noneItem = -1;
constexpr int absentItem = -2;

// Qt's own combo box interface on Linux gives the current item as the name
// too (the label is meant to come through a relation), so a screen reader
// announced the picker as "PROJ, 1280 × 720". This one is named by the
// accessible name ("Display") and keeps the item as the value; the popup
// list stays its child, and "show menu" opens it.
class DisplayPickerAccessible : public QAccessibleWidget {
public:
    explicit DisplayPickerAccessible(QComboBox* box)
        : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text which) const override {
        if (which == QAccessible::Name) {
            return box()->accessibleName();
        }
        if (which == QAccessible::Value) {
            return box()->currentText();
        }
        return QAccessibleWidget::text(which);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) {
            box()->showPopup();
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* displayPickerAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(DisplayPicker::staticMetaObject.className())) {
        return nullptr;
    }
    return new DisplayPickerAccessible(static_cast<QComboBox*>(object));
}

} // namespace

DisplayPicker::DisplayPicker(QWidget* parent) : QComboBox(parent) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(displayPickerAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setObjectName(QStringLiteral("displayPicker"));
    setAccessibleName(tr("Display"));
    setToolTip(tr("The screen this output's window goes to"));
    // Long screen names must not widen the inspector.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    takeWheelOnlyWhenFocused(this);

    const auto screensChanged = [this] { rebuild(); };
    const auto watch = [this, screensChanged](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, screensChanged);
    };
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [watch, screensChanged](QScreen* s) {
        watch(s);
        screensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, screensChanged);
    for (QScreen* screen : QGuiApplication::screens()) {
        watch(screen);
    }
    connect(this, &QComboBox::currentIndexChanged, this, &DisplayPicker::onIndexChanged);
    rebuild();
}

void DisplayPicker::showDisplay(const std::optional<OutputDisplay>& display) {
    if (display == shown_ && count() > 0) {
        return;
    }
    shown_ = display;
    rebuild();
}

void DisplayPicker::showNode(const std::optional<Node>& node) {
    if (node == node_) {
        return;
    }
    node_ = node;
    setToolTip(node_ ? tr("The screen of %1 this output's window goes to")
                           .arg(QString::fromStdString(node_->name))
                     : tr("The screen this output's window goes to"));
    rebuild();
}

int DisplayPicker::itemOfScreen(const QString& name) const {
    for (int i = 0; i < count(); ++i) {
        const int item = itemData(i).toInt();
        if (item >= 0 &&
            QString::fromStdString(screens_.screens[static_cast<std::size_t>(item)].name) == name) {
            return i;
        }
    }
    return -1;
}

void DisplayPicker::rebuild() {
    const QSignalBlocker blocker(this);
    screens_ = node_ ? ScreenList{node_->screens, {}} : ScreenList::current();
    clear();
    addItem(tr("None"), noneItem);
    for (std::size_t i = 0; i < screens_.screens.size(); ++i) {
        const Screen& screen = screens_.screens[i];
        addItem(tr("%1, %2 × %3")
                    .arg(QString::fromStdString(screen.name))
                    .arg(screen.geometry.width)
                    .arg(screen.geometry.height),
                static_cast<int>(i));
    }
    int current = 0;
    const bool usable = isUsable(shown_);
    if (usable) {
        if (const auto match = findScreen(*shown_, screens_.screens)) {
            current = static_cast<int>(match->index) + 1;
        } else {
            const QString name = QString::fromStdString(shown_->screen);
            addItem(node_ ? tr("%1 (not on %2)").arg(name, QString::fromStdString(node_->name))
                          : tr("%1 (not connected)").arg(name),
                    absentItem);
            current = count() - 1;
        }
    }
    setCurrentIndex(current);
}

void DisplayPicker::onIndexChanged(int index) {
    if (index < 0) {
        return;
    }
    const int item = itemData(index).toInt();
    std::optional<OutputDisplay> chosen;
    if (item == absentItem) {
        return; // the screen it already has
    }
    const bool fullScreen = shown_ ? shown_->fullScreen : true;
    const auto at = static_cast<std::size_t>(item);
    if (item >= 0 && node_ && at < screens_.screens.size()) {
        const Screen& screen = screens_.screens[at];
        chosen = OutputDisplay{screen.name, screen.geometry, fullScreen};
    } else if (item >= 0 && at < screens_.handles.size()) {
        chosen = displayOn(*screens_.handles[at], fullScreen);
    }
    if (chosen == shown_) {
        return;
    }
    shown_ = chosen;
    emit displayChosen(chosen);
}

} // namespace prismeta
