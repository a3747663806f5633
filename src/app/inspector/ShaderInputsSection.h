#pragma once

#include "app/inspector/ShaderHeaderCache.h"
#include "core/Surface.h"
#include "core/Uuid.h"
#include "isf/IsfShader.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace prismeta {

class InspectorDialogs;
class ProjectModel;

// The inputs of the selected surface's shader, one control per input as its
// header declares it: a slider over the range for a float, a checkbox for a
// bool, a menu for a long, a colour well, two fields for a point, a file
// button for an image (inputImage first) and a button for an event. Audio
// inputs have none (they are fed silence).
//
// Each change is one edit of the selected surface through the model's
// binding, as the inspector's other fields; a value set back to the input's
// default removes the surface's key. Controls are built again only when the
// surface shows another shader file or the file changed on disk.
//
// Interface thread only. Borrows the model and the dialogs.
class ShaderInputsSection : public QWidget {
    Q_OBJECT

public:
    ShaderInputsSection(ProjectModel& model, InspectorDialogs& dialogs, QWidget* parent = nullptr);

    // Shows the surface's values; hidden unless it shows a shader whose
    // header reads. `otherSurface`: typed text for the previous one is dropped.
    void showSurface(const Surface& surface, bool otherSurface);

    // The names of the inputs with a control, in the order shown.
    std::vector<std::string> shownInputs() const;

signals:
    // The event button of the named input was pressed for the surface.
    void eventTriggered(const prismeta::Uuid& surface, const QString& name);

private:
    struct Row {
        IsfInput input;
        QWidget* control = nullptr; // slider, box, menu, well, x field or button
        QLabel* caption = nullptr;  // floats: the value beside the name
        QLineEdit* y = nullptr;     // points
        QLabel* file = nullptr;     // images
        QWidget* clear = nullptr;   // images: drops the file
    };

    void rebuild(const IsfShader& shader);
    void addRow(const IsfInput& input);
    void showRow(Row& row, const ShaderInputs& stored, bool otherSurface);
    // Stores the value for the input on the selected surface (clamped as the
    // renderer reads it; removed when it is the default).
    void store(const IsfInput& input, ShaderInputValue value);
    void storeNumbers(const IsfInput& input, const std::array<double, 4>& value);
    void commitPoint(const Row& row);
    const Row* rowFor(const std::string& name) const;

    ProjectModel& model_;
    InspectorDialogs& dialogs_;
    ShaderHeaderCache headers_;
    std::string builtPath_;
    std::uint64_t builtGeneration_ = 0;
    QVBoxLayout* layout_ = nullptr;
    QWidget* rowsWidget_ = nullptr;
    std::vector<Row> rows_;
};

} // namespace prismeta
