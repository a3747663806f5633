#pragma once

#include "core/OutputConfig.h"
#include "core/Uuid.h"

#include <QWidget>

#include <array>
#include <cstddef>

class QCheckBox;
class QDoubleSpinBox;

namespace prismeta {

class ContinuousSlider;
class ProjectModel;

// The "Blend Curve" group of an output card: the ramps' curve (0.5 to 4) and
// gamma (1 to 3), each a slider beside a number box, the black-level lift per
// channel (0 to 0.2, three number fields, linked by default), and the
// "Blend Test" switch. Every change goes straight into the model (the
// output's fields, or its blend test state), so the output windows show it at
// once: slider drags, arrow keys and the wheel while they happen, typed
// numbers on Return or when the box loses focus. Values pass through the
// ranges of BlendCurve.h on their way in; nothing here takes an undo
// snapshot.
//
// The wheel changes a control only once it has focus (a click or Tab);
// over the others it scrolls the panel.
//
// The channels start linked unless the output's three channels differ when
// the card is made; linked, an edit of one channel sets all three.
//
// Interface thread only. Borrows the model, which must outlive it; owned by
// its output card.
class BlendCurveGroup : public QWidget {
    Q_OBJECT

public:
    enum class Channel { red = 0, green = 1, blue = 2 };

    BlendCurveGroup(ProjectModel& model, const OutputConfig& output, QWidget* parent = nullptr);

    // The model's values; a box the user is typing in keeps its text.
    void showOutput(const OutputConfig& output, bool blendTest);

    ContinuousSlider* curveSlider() const { return curveSlider_; }
    QDoubleSpinBox* curveBox() const { return curveBox_; }
    ContinuousSlider* gammaSlider() const { return gammaSlider_; }
    QDoubleSpinBox* gammaBox() const { return gammaBox_; }
    QDoubleSpinBox* blackLevelBox(Channel channel) const {
        return black_[static_cast<std::size_t>(channel)];
    }
    QCheckBox* linkBox() const { return link_; }
    QCheckBox* blendTestBox() const { return blendTest_; }

private:
    template <typename Change> void edit(Change&& change);
    void editBlackLevel(Channel channel, double value);

    ProjectModel& model_;
    Uuid id_;
    ContinuousSlider* curveSlider_;
    QDoubleSpinBox* curveBox_;
    ContinuousSlider* gammaSlider_;
    QDoubleSpinBox* gammaBox_;
    std::array<QDoubleSpinBox*, 3> black_{};
    QCheckBox* link_;
    QCheckBox* blendTest_;
};

} // namespace prismeta
