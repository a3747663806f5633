#pragma once

#include "app/LetterboxView.h"
#include "app/editor/EditorInteraction.h"
#include "app/editor/ReferenceImage.h"

namespace prismeta {

class EditorOverlay;
class ModelAdapter;
class ModelChanges;

// The interactive editor of the main window: the whole canvas, live,
// letterboxed on the 0.08 grey and fitted to the view (content() is the
// canvas view), under an overlay with the reference picture, the canvas
// border and the selected surface's outline, mesh grid and handles. Mouse
// presses, drags and arrow keys become edits of the model through an
// EditorInteraction; arrow keys it does not use, and every other key, pass
// on to the window (menu shortcuts keep working), except Delete and
// Backspace while a point of the edited mask is selected: they remove it.
//
// It takes keyboard focus when first shown and at the start of every press
// that is not on a handle. Everything it shows follows the model through the
// adapter; it never polls the model.
//
// Interface thread only. Borrows the adapter (and the model behind it), which
// must outlive it.
class EditorView : public LetterboxView {
    Q_OBJECT

public:
    explicit EditorView(ModelAdapter& adapter, QWidget* parent = nullptr);
    ~EditorView() override;

    ModelAdapter& adapter() const { return adapter_; }
    EditorInteraction& interaction() { return interaction_; }
    ReferenceImage& referenceImage() { return reference_; }
    EditorOverlay* overlay() const { return overlay_; }

    // The mask shown with its path and handles and edited by the pointer
    // (chosen in the inspector); nothing for none.
    void setMaskTarget(std::optional<MaskTarget> target);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh(const ModelChanges& changes);
    // The file the reference picture is read from: its stored path, or where
    // the file was found when it moved.
    std::optional<std::string> referencePath() const;

    ModelAdapter& adapter_;
    EditorInteraction interaction_;
    ReferenceImage reference_;
    EditorOverlay* overlay_ = nullptr;
    bool shownBefore_ = false;
};

} // namespace prismeta
