#pragma once

#include "app/editor/MaskTarget.h"
#include "app/inspector/InspectorDialogs.h"
#include "core/Uuid.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QScrollArea;
class QTabWidget;

namespace prismeta {

class ModelAdapter;
class ModelChanges;
class OutputsSection;
class ProjectModel;
class LiveStatusWatch;
class ReferenceSection;
class SelectedSurfaceControls;
class SurfaceListPanel;

// The side panel beside the editor, in two tabs: "Surfaces" (the reference
// section, the surface list, then a scrolling column with the selected
// surface's controls) and "Outputs" (the output cards, scrolling on their
// own). The outputs come up when an output's warp editing is switched on
// and when calibration starts (showOutputs). It edits the shared model directly and follows it
// through the adapter's coalesced `changed` signal, refreshing only the parts a change concerns.
// Never narrower than minimumPanelWidth.
//
// Interface thread only. Borrows the adapter (and model), which must outlive
// it; owns its dialogs (the Qt dialogs unless others are given). Output
// windows are opened through `openOutputWindow`, so the panel needs no
// window machinery of its own.
class InspectorView : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumPanelWidth = 290;

    InspectorView(ModelAdapter& adapter, std::function<void(const Uuid&)> openOutputWindow,
                  std::unique_ptr<InspectorDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~InspectorView() override;

    ReferenceSection* referenceSection() const { return reference_; }
    SurfaceListPanel* surfaceList() const { return surfaces_; }
    SelectedSurfaceControls* selectedControls() const { return selected_; }
    OutputsSection* outputsSection() const { return outputs_; }
    // The selected surface's scrolling column, and the outputs'.
    QScrollArea* scrollArea() const { return scroll_; }
    QScrollArea* outputsScrollArea() const { return outputsScroll_; }
    QTabWidget* tabs() const { return tabs_; }
    // Brings up the outputs tab, scrolled to the output's Warp group.
    void showOutputs(const std::optional<Uuid>& outputID = std::nullopt);
    bool showsOutputs() const;
    // How the live sources are doing, for the surface list and the live row.
    LiveStatusWatch* liveStatusWatch() const { return liveStatus_; }

    // The surface and the output whose names are being edited inline.
    std::optional<Uuid> editingSurfaceID() const;
    std::optional<Uuid> editingOutputID() const;

    // A text field committed its edit with Return (FieldKeys); the keyboard
    // goes back to the editor.
    void reportEditCommitted() { emit editCommitted(); }

signals:
    // A mask of the selected surface or of an output was chosen to work on
    // in the editor; nothing when the selected surface's list has none.
    void maskChosen(std::optional<prismeta::MaskTarget> target);
    // An edit was committed: Return in a text field, or a button of the
    // panel clicked with the pointer. The owner gives the keyboard back to
    // the editor, as the arrow keys and Undo belong to the project there. A
    // button pressed from the keyboard or by assistive technology keeps the
    // focus where the user put it.
    void editCommitted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh(const ModelChanges& changes);
    void outputsContentLayout();

    ProjectModel& model_;
    std::unique_ptr<InspectorDialogs> dialogs_;
    ReferenceSection* reference_;
    SurfaceListPanel* surfaces_;
    SelectedSurfaceControls* selected_;
    OutputsSection* outputs_;
    QScrollArea* scroll_;
    QScrollArea* outputsScroll_;
    QTabWidget* tabs_;
    LiveStatusWatch* liveStatus_;
    // The outputs whose warp was being edited at the last refresh.
    std::vector<Uuid> warpEdited_;
};

} // namespace prismeta
