#include "app/CanvasView.h"

#include "app/FrameClock.h"
#include "app/ModelAdapter.h"
#include "app/SharedShaderContext.h"
#include "app/cues/ShowCues.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPalette>

#include "render/FFmpegMediaBackend.h"
#include "render/Renderer.h"

#include <cmath>
#include <utility>

namespace prismeta {

CanvasView::CanvasView(ModelAdapter& adapter, std::optional<OutputConfig> outputConfig,
                       QWidget* parent)
    : QOpenGLWidget(parent), adapter_(adapter), outputConfig_(std::move(outputConfig)),
      clock_(FrameClock::shared()) {
    setFormat(surfaceFormat());
    // The widget never reads back what it draws; QPainter never draws on it.
    setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    connect(&adapter_, &ModelAdapter::changed, this, &CanvasView::onModelChanged);
    if (ShowCues* show = ShowCues::active()) {
        connect(show, &ShowCues::changed, this, [this] { clock_->requestFrame(this); });
    }
    connect(&adapter_, &ModelAdapter::mediaLocationsChanged, this, [this] {
        if (renderer_) {
            renderer_->setMediaLocations(adapter_.mediaLocations());
        }
        clock_->requestFrame(this);
    });
    clock_->attach(this);
}

CanvasView::~CanvasView() {
    clock_->detach(this);
    // QOpenGLWidget's destructor destroys the context after this object is
    // gone: its aboutToBeDestroyed must not reach this object any more.
    if (QOpenGLContext* current = context()) {
        disconnect(current, nullptr, this, nullptr);
    }
    releaseRenderer();
}

QSurfaceFormat CanvasView::surfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(8);
    format.setSwapInterval(0);
    return format;
}

void CanvasView::installDefaultSurfaceFormat() {
    QSurfaceFormat::setDefaultFormat(surfaceFormat());
    // Every view's context shares textures with the others, so a shader
    // surface runs once a frame for all windows (sharedShaderPictures).
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool CanvasView::platformSupportsGL() {
    // Qt's raster-only platforms: a QOpenGLWidget on them cannot get a
    // framebuffer and crashes on first paint.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
           platform != QLatin1String("linuxfb") && platform != QLatin1String("vnc");
}

void CanvasView::setOutputConfig(std::optional<OutputConfig> config) {
    if (config == outputConfig_) {
        return;
    }
    outputConfig_ = std::move(config);
    if (renderer_) {
        renderer_->setOutputConfig(outputConfig_);
    }
    clock_->requestFrame(this);
}

void CanvasView::initializeGL() {
    // A new context (first show, or a move to another window): the old
    // renderer went with the old context.
    releaseRenderer();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &CanvasView::releaseRenderer,
            Qt::UniqueConnection);
    renderer_ = Renderer::create(adapter_.model(), outputConfig_, liveMediaBackend());
    if (renderer_) {
        renderer_->setMediaLocations(adapter_.mediaLocations());
        renderer_->setSharedShaders(sharedShaderPictures(context()));
    }
}

void CanvasView::paintGL() {
    const qreal ratio = devicePixelRatioF();
    const int pixelWidth = static_cast<int>(std::lround(width() * ratio));
    const int pixelHeight = static_cast<int>(std::lround(height() * ratio));
    ++frames_;
    if (renderer_) {
        // A cue's fade and the blackout, on the one show clock.
        const ShowCues* show = ShowCues::active();
        const double now = SteadyShowClock().now();
        if (show) {
            renderer_->setCrossfade(show->runner().crossfade());
            renderer_->setBlackout(show->runner().state().blackout);
            renderer_->setPreload(show->runner().preload());
            renderer_->setLiveLayer(&show->live());
        }
        // Qt's framebuffer object changes with the widget's size: ask every frame.
        renderer_->draw(FrameTarget{defaultFramebufferObject(), 0, 0, pixelWidth, pixelHeight},
                        now);
        if (renderer_->needsFrames() || (show && show->animating(now))) {
            clock_->requestFrame(this);
        }
        return;
    }
    QOpenGLFunctions* gl = context()->functions();
    gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
}

void CanvasView::onModelChanged(const ModelChanges& changes) {
    if (renderer_) {
        renderer_->setModel(adapter_.model());
        renderer_->setOutputConfig(outputConfig_);
    }
    // What the renderer draws comes from the surfaces (an output window's
    // crop reaches it through setOutputConfig). The selection, the file's
    // location, the snap flag and the editor's reference picture are drawn
    // by no renderer.
    ModelChanges drawn = changes;
    for (ModelField field :
         {ModelField::selectedID, ModelField::documentURL, ModelField::snapEnabled,
          ModelField::backgroundImagePath, ModelField::backgroundOpacity}) {
        drawn.remove(field);
    }
    if (!drawn.empty()) {
        clock_->requestFrame(this);
    }
}

void CanvasView::releaseRenderer() {
    if (!renderer_) {
        return;
    }
    // The renderer's GL objects belong to this widget's context.
    makeCurrent();
    renderer_.reset();
    doneCurrent();
}

QWidget* makeCanvasWidget(ModelAdapter& adapter, std::optional<OutputConfig> outputConfig,
                          QWidget* parent) {
    if (CanvasView::platformSupportsGL()) {
        return new CanvasView(adapter, std::move(outputConfig), parent);
    }
    auto* placeholder = new QWidget(parent);
    QPalette palette = placeholder->palette();
    palette.setColor(QPalette::Window, Qt::black);
    placeholder->setPalette(palette);
    placeholder->setAutoFillBackground(true);
    return placeholder;
}

} // namespace prismeta
