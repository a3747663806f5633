#pragma once

#include "core/OutputConfig.h"

#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <memory>
#include <optional>

namespace prismeta {

class FrameClock;
class ModelAdapter;
class ModelChanges;
class Renderer;

// A live rendering of the canvas: the editor's whole canvas (no output
// config) or one output's crop with its blend ramps. Owns one Renderer, made
// when the widget's GL context is ready and released before that context goes
// (Qt makes a new context when the widget moves to another window, and the
// renderer is made again on it). It hands the renderer the model on every
// model change and draws a frame when something it shows changed: the
// surfaces, its output, its size or GL context (Qt repaints those itself), or
// media that moves on by itself (a video playing, a still still decoding,
// which the renderer reports after each frame). Frames are paced by the
// shared FrameClock, so a playing video draws 60 times a second and an
// unchanging project draws nothing. Frames cover the whole widget in device
// pixels. A renderer that cannot be made leaves the view black.
//
// Interface thread only. The adapter (and the model behind it) must outlive
// the view; the owner of the view decides its geometry.
class CanvasView : public QOpenGLWidget {
    Q_OBJECT

public:
    CanvasView(ModelAdapter& adapter, std::optional<OutputConfig> outputConfig,
               QWidget* parent = nullptr);
    ~CanvasView() override;

    // The format every GL widget of the application asks for: OpenGL 3.3 core,
    // 8-bit stencil for QPainter clipping, and no wait for vertical sync (the
    // FrameClock paces every view). Set as the default before QApplication,
    // with contexts sharing their objects (Qt::AA_ShareOpenGLContexts).
    static QSurfaceFormat surfaceFormat();
    static void installDefaultSurfaceFormat();

    // Whether this platform can show GL widgets at all (the offscreen and
    // framebuffer platforms cannot, and a QOpenGLWidget there crashes). Where
    // it cannot, hosts show a black placeholder instead.
    static bool platformSupportsGL();

    const std::optional<OutputConfig>& outputConfig() const { return outputConfig_; }
    void setOutputConfig(std::optional<OutputConfig> config);

    bool hasRenderer() const { return renderer_ != nullptr; }
    // Frames drawn so far (tests and diagnostics).
    long long frameCount() const { return frames_; }

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void onModelChanged(const ModelChanges& changes);
    void releaseRenderer();

    ModelAdapter& adapter_;
    std::optional<OutputConfig> outputConfig_;
    std::unique_ptr<Renderer> renderer_;
    std::shared_ptr<FrameClock> clock_;
    long long frames_ = 0;
};

// A CanvasView, or a black stand-in of the same accessible role where the
// platform has no GL widgets (hosts reach the view through qobject_cast).
QWidget* makeCanvasWidget(ModelAdapter& adapter, std::optional<OutputConfig> outputConfig,
                          QWidget* parent = nullptr);

} // namespace prismeta
