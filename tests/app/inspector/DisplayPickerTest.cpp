// The output card's Display row on a desk screen and a projector (Qt's
// offscreen platform with two screens): what it lists, and what choosing
// writes into the output.
#include "../show/TwoOffscreenScreens.h"
#include "InspectorHarness.h"

#include "app/inspector/DisplayPicker.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"
#include "app/show/ScreenList.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace prismeta;

namespace {

QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts << box->itemText(i);
    }
    return texts;
}

QScreen* projector() {
    return QGuiApplication::screens().value(1);
}

} // namespace

class DisplayPickerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;

    OutputCard* card() const { return h_->view->outputsSection()->cards().at(0); }
    DisplayPicker* picker() const { return card()->displayPicker(); }
    const OutputConfig& output() const { return h_->model.outputs().front(); }

private slots:
    void init() {
        QCOMPARE(QGuiApplication::screens().size(), 2);
        h_ = std::make_unique<InspectorHarness>();
        h_->model.addSurface();
        h_->model.addOutput(OutputPreset::full);
        h_->settle();
        h_->view->showOutputs(); // the cards are in the Outputs tab
    }

    void cleanup() { h_.reset(); }

    void listsNoneAndTheConnectedScreens() {
        QCOMPARE(items(picker()), (QStringList{"None", "DESK, 1600 × 900", "PROJ, 1280 × 720"}));
        QCOMPARE(picker()->currentIndex(), 0);
        QCOMPARE(picker()->accessibleName(), QStringLiteral("Display"));
        // Announced by what it is for, its item as the value (Qt's own combo
        // box gives the item as the name on Linux).
        QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(picker());
        QVERIFY(announced != nullptr);
        QCOMPARE(announced->role(), QAccessible::ComboBox);
        QCOMPARE(announced->text(QAccessible::Name), QStringLiteral("Display"));
        QCOMPARE(announced->text(QAccessible::Value), QStringLiteral("None"));
        QCOMPARE(announced->childCount(), 1); // the list it opens
        QVERIFY(announced->child(0) != nullptr);
        QCOMPARE(announced->indexOfChild(announced->child(0)), 0);
        QVERIFY(announced->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::showMenuAction()));
        QCOMPARE(picker()->itemOfScreen(QStringLiteral("PROJ")), 2);
    }

    void choosingAScreenWritesTheDisplayOnceAndTakesNoUndoStep() {
        const std::size_t undo = h_->undoDepth();
        QSignalSpy chosen(picker(), &DisplayPicker::displayChosen);
        // As the keyboard or an accessibility action would: the current item.
        picker()->setCurrentIndex(2);
        h_->settle();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(output().display, std::optional(displayOn(*projector(), true)));
        QCOMPARE(h_->undoDepth(), undo);

        // The model's change coming back does not echo as another choice.
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(picker()->currentIndex(), 2);

        // A window left on the projector (full screen off) keeps that when
        // moved to another screen from here.
        std::vector<OutputConfig> outputs = h_->model.outputs();
        outputs[0].display->fullScreen = false;
        h_->model.setOutputs(outputs);
        h_->settle();
        picker()->setCurrentIndex(1);
        h_->settle();
        QCOMPARE(output().display->screen, "DESK");
        QVERIFY(!output().display->fullScreen);

        picker()->setCurrentIndex(0);
        h_->settle();
        QVERIFY(!output().display);
        QCOMPARE(chosen.size(), 3);
    }

    void scrollingThePanelPastItChoosesNothing() {
        const auto wheel = [this] {
            const QPointF at = QRectF(picker()->rect()).center();
            QWheelEvent event(at, picker()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(picker(), &event);
            h_->settle();
            return event.isAccepted();
        };
        QVERIFY(!picker()->hasFocus());
        QVERIFY(!wheel()); // passed on to the panel
        QCOMPARE(picker()->currentIndex(), 0);
        QVERIFY(!output().display);

        // Once the user is in it, the wheel picks.
        picker()->setFocus();
        QTRY_VERIFY(picker()->hasFocus());
        wheel();
        QCOMPARE(picker()->currentIndex(), 1);
        QCOMPARE(output().display->screen, "DESK");
    }

    void aScreenThatIsNotConnectedStaysShownUntilAnotherIsChosen() {
        std::vector<OutputConfig> outputs = h_->model.outputs();
        outputs[0].display = OutputDisplay{"HDMI-9", {4000, 0, 1920, 1080}, true};
        h_->model.setOutputs(outputs);
        h_->settle();
        QCOMPARE(items(picker()).last(), QStringLiteral("HDMI-9 (not connected)"));
        QCOMPARE(picker()->currentIndex(), picker()->count() - 1);

        // Renamed since (same place on the desktop): the screen found.
        outputs[0].display = OutputDisplay{"HDMI-1", toScreenRect(projector()->geometry()), true};
        h_->model.setOutputs(outputs);
        h_->settle();
        QCOMPARE(picker()->count(), 3);
        QCOMPARE(picker()->currentText(), QStringLiteral("PROJ, 1280 × 720"));
        // Shown, not written: the file keeps what it says.
        QCOMPARE(output().display->screen, "HDMI-1");
    }
};

PRISMETA_TWO_SCREENS_MAIN(DisplayPickerTest)
#include "DisplayPickerTest.moc"
