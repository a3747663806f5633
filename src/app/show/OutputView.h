#pragma once

#include "app/LetterboxView.h"
#include "core/OutputConfig.h"
#include "core/Uuid.h"

#include <optional>

namespace prismeta {

class CanvasView;
class ModelAdapter;
class WarpOverlay;

// The content of an output window: the output's crop of the live canvas,
// fitted with its aspect kept, on black; or, for an output with a warp, the
// whole window as the projector's raster (the warp places the picture on
// it). Either way it lies under a WarpOverlay that shows the
// warp's handles and the alignment grid while they are asked for. It finds its output in the model
// by id on every model change; when the id is absent or gone it shows the fallback output (the
// whole canvas, "Output", no blend) and stays open. It writes nothing to the model.
//
// Interface thread only. Borrows the adapter (and model), which must outlive
// it; owns its canvas view.
class OutputView : public LetterboxView {
    Q_OBJECT

public:
    OutputView(ModelAdapter& adapter, std::optional<Uuid> outputID, QWidget* parent = nullptr);

    const std::optional<Uuid>& outputID() const { return outputID_; }
    // The output shown, as found at the last model change.
    const OutputConfig& config() const { return config_; }
    // Whether the window's id matched no output at the last model change.
    bool showsFallback() const { return showsFallback_; }
    // The rendering, where the platform can show GL (null otherwise).
    CanvasView* canvasView() const;
    WarpOverlay* warpOverlay() const { return overlay_; }

signals:
    // The shown output's name changed (the window's title follows it).
    void nameChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();

    ModelAdapter& adapter_;
    std::optional<Uuid> outputID_;
    OutputConfig config_;
    bool showsFallback_ = false;
    WarpOverlay* overlay_ = nullptr;
};

} // namespace prismeta
