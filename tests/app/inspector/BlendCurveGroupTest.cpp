// The "Blend Curve" group of an output card: its ranges, its edits into the
// model (none of them undoable), the linked black level, the blend test
// switch, and the model's changes shown back without disturbing typing.

#include "InspectorHarness.h"

#include "app/inspector/BlendCurveGroup.h"
#include "app/inspector/ContinuousSlider.h"
#include "app/inspector/OutputCard.h"
#include "app/inspector/OutputsSection.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QTest>
#include <QWheelEvent>

#include <initializer_list>

using namespace prismeta;

namespace {

void typeInto(QDoubleSpinBox* box, const QString& text) {
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

// One notch of the wheel over the widget; whether it took it. (Qt hands a
// wheel event the widget leaves to its parents, up to the scroll area.)
bool wheelDown(QWidget* widget) {
    const QPointF at = QPointF(widget->rect().center());
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

QPoint indicator(const QWidget* box) {
    return {6, box->height() / 2};
}

} // namespace

class BlendCurveGroupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<InspectorHarness> h_;

    BlendCurveGroup* group(std::size_t i = 0) const {
        return h_->view->outputsSection()->cards().at(i)->blendCurveGroup();
    }
    const OutputConfig& output(std::size_t i = 0) const { return h_->model.outputs().at(i); }
    QDoubleSpinBox* black(BlendCurveGroup::Channel c) const { return group()->blackLevelBox(c); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() {
        h_ = std::make_unique<InspectorHarness>();
        QVERIFY(QTest::qWaitForWindowActive(h_->view.get()));
        h_->model.addSurface(); // one undo snapshot, which nothing here adds to
        h_->model.addOutput(OutputPreset::leftHalf);
        h_->settle();
    }

    void cleanup() { h_.reset(); }

    void controlsCoverTheirRangesFromTheDefaults() {
        BlendCurveGroup* g = group();
        QCOMPARE(g->curveBox()->minimum(), 0.5);
        QCOMPARE(g->curveBox()->maximum(), 4.0);
        QCOMPARE(g->curveBox()->value(), 1.0);
        QCOMPARE(g->curveSlider()->minimumValue(), 0.5);
        QCOMPARE(g->curveSlider()->maximumValue(), 4.0);
        QCOMPARE(g->gammaBox()->minimum(), 1.0);
        QCOMPARE(g->gammaBox()->maximum(), 3.0);
        QCOMPARE(g->gammaBox()->value(), 1.0);
        QCOMPARE(g->gammaSlider()->value(), 0);
        for (auto c : {BlendCurveGroup::Channel::red, BlendCurveGroup::Channel::green,
                       BlendCurveGroup::Channel::blue}) {
            QCOMPARE(black(c)->minimum(), 0.0);
            QCOMPARE(black(c)->maximum(), 0.2);
            QCOMPARE(black(c)->value(), 0.0);
        }
        QVERIFY(g->linkBox()->isChecked());
        QVERIFY(!g->blendTestBox()->isChecked());
    }

    void editsGoIntoTheModelClampedAndUndoNothing() {
        BlendCurveGroup* g = group();
        typeInto(g->curveBox(), QStringLiteral("2.5"));
        QCOMPARE(output().blendCurve, 2.5f);
        // Beyond the range the box takes no keys: the value stays.
        typeInto(g->gammaBox(), QStringLiteral("9"));
        QCOMPARE(output().blendGamma, 1.0f);
        typeInto(g->gammaBox(), QStringLiteral("3"));
        QCOMPARE(output().blendGamma, 3.0f);
        // Arrow keys store each step as it happens.
        QTest::keyClick(g->gammaBox(), Qt::Key_Down);
        QCOMPARE(output().blendGamma, 2.95f);
        // A slider stores what its box will show: two decimals.
        g->curveSlider()->setValue(ContinuousSlider::steps / 3);
        QCOMPARE(output().blendCurve, 1.67f);
        h_->settle();
        QCOMPARE(g->curveBox()->value(), 1.67);
        QCOMPARE(h_->undoDepth(), 1u);
        QCOMPARE(h_->redoDepth(), 0u);
        // The blend widths are untouched.
        QCOMPARE(output().blendLeft, 0.0f);
    }

    void linkedBlackLevelMovesAllThreeChannels() {
        typeInto(black(BlendCurveGroup::Channel::green), QStringLiteral("0.04"));
        QCOMPARE(output().blackLevel, (BlackLevel{0.04f, 0.04f, 0.04f}));
        h_->settle();
        QCOMPARE(black(BlendCurveGroup::Channel::blue)->value(), 0.04);

        QTest::mouseClick(group()->linkBox(), Qt::LeftButton, {}, indicator(group()->linkBox()));
        QVERIFY(!group()->linkBox()->isChecked());
        typeInto(black(BlendCurveGroup::Channel::blue), QStringLiteral("0.15"));
        QCOMPARE(output().blackLevel, (BlackLevel{0.04f, 0.04f, 0.15f}));

        // A card made for channels that differ starts unlinked.
        OutputConfig uneven = makeOutput(OutputPreset::rightHalf);
        uneven.blackLevel = {0.01f, 0.02f, 0.03f};
        std::vector<OutputConfig> outputs = h_->model.outputs();
        outputs.push_back(uneven);
        h_->model.setOutputs(outputs);
        h_->settle();
        QVERIFY(!group(1)->linkBox()->isChecked());
        QCOMPARE(group(1)->blackLevelBox(BlendCurveGroup::Channel::green)->value(), 0.02);
        QVERIFY(!group(0)->linkBox()->isChecked()); // the first card keeps the user's choice
    }

    void blendTestSwitchesTheModelsViewState() {
        const Uuid id = output().id;
        const bool unsaved = h_->model.hasUnsavedChanges();
        QTest::mouseClick(group()->blendTestBox(), Qt::LeftButton, {},
                          indicator(group()->blendTestBox()));
        QVERIFY(h_->model.blendTest(id));
        QCOMPARE(h_->model.hasUnsavedChanges(), unsaved); // nothing the file holds
        // Switched off elsewhere (a new project, a remote): the box follows.
        h_->model.setBlendTest(id, false);
        h_->settle();
        QVERIFY(!group()->blendTestBox()->isChecked());
        h_->model.setBlendTest(id, true);
        h_->settle();
        QVERIFY(group()->blendTestBox()->isChecked());
    }

    void modelChangesShowUnlessTheUserIsTyping() {
        OutputConfig changed = output();
        changed.blendGamma = 2.2f;
        changed.blendCurve = 7.0f; // stored out of range: shown at the range's end
        changed.blackLevel = {0.1f, 0.1f, 0.1f};
        h_->model.replaceOutput(0, changed);
        h_->settle();
        QCOMPARE(group()->gammaBox()->value(), 2.2);
        QCOMPARE(group()->gammaSlider()->value(), group()->gammaSlider()->positionFor(2.2));
        QCOMPARE(group()->curveBox()->value(), 4.0);
        QCOMPARE(black(BlendCurveGroup::Channel::red)->value(), 0.1);
        QCOMPARE(output().blendCurve, 7.0f); // showing writes nothing

        QDoubleSpinBox* gamma = group()->gammaBox();
        gamma->setFocus(Qt::OtherFocusReason);
        gamma->selectAll();
        QTest::keyClicks(gamma, QStringLiteral("1.5"));
        changed.blendGamma = 2.6f;
        h_->model.replaceOutput(0, changed);
        h_->settle();
        QCOMPARE(gamma->text(), QStringLiteral("1.5"));
        QTest::keyClick(gamma, Qt::Key_Return);
        QCOMPARE(output().blendGamma, 1.5f);
    }

    void theWheelScrollsThePanelUntilAControlHasFocus() {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 group()->gammaSlider(), group()->gammaBox(), group()->curveSlider(),
                 group()->curveBox(), black(BlendCurveGroup::Channel::red)}) {
            QVERIFY2(!wheelDown(control), qPrintable(control->objectName()));
        }
        QCOMPARE(output().blendGamma, 1.0f);
        QCOMPARE(output().blendCurve, 1.0f);
        QVERIFY(output().blackLevel.isZero());

        // Clicked or tabbed into, a control takes the wheel: a live step.
        QDoubleSpinBox* gamma = group()->gammaBox();
        gamma->setFocus(Qt::TabFocusReason);
        QVERIFY(wheelDown(gamma));
        QCOMPARE(output().blendGamma, 1.0f); // already at the bottom of its range
        QTest::keyClick(gamma, Qt::Key_PageUp);
        const float stepped = output().blendGamma;
        QVERIFY(stepped > 1.0f);
        QVERIFY(wheelDown(gamma));
        QVERIFY(output().blendGamma < stepped);
    }

    void anOutputDeletedUnderTheGroupIsLeftAlone() {
        QPointer<BlendCurveGroup> g = group();
        h_->model.setOutputs({});
        // Before the panel hears of it, an edit finds no output to change.
        typeInto(g->curveBox(), QStringLiteral("3"));
        QVERIFY(h_->model.outputs().empty());
        h_->settle();
        QTRY_VERIFY(g.isNull());
    }
};

QTEST_MAIN(BlendCurveGroupTest)
#include "BlendCurveGroupTest.moc"
