#include "app/SharedShaderContext.h"

#include "app/CanvasView.h"
#include "app/FrameClock.h"
#include "core/Log.h"
#include "render/FFmpegMediaBackend.h"
#include "render/SharedShaderPictures.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>

namespace prismeta {

namespace {

// The shaders' context and its surface, and what was current before it.
struct ShaderContext {
    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLContext* previous = nullptr;
    QSurface* previousSurface = nullptr;

    bool enter() {
        previous = QOpenGLContext::currentContext();
        previousSurface = previous != nullptr ? previous->surface() : nullptr;
        // A lost context (a GPU reset) shows the placeholder from then on.
        return context.isValid() && context.makeCurrent(&surface);
    }
    void leave() {
        if (previous != nullptr && previousSurface != nullptr) {
            previous->makeCurrent(previousSurface);
        } else {
            context.doneCurrent();
        }
        previous = nullptr;
        previousSurface = nullptr;
    }
};

std::shared_ptr<ShaderContext> makeShaderContext() {
    QOpenGLContext* global = QOpenGLContext::globalShareContext();
    if (global == nullptr) {
        return nullptr;
    }
    auto made = std::make_shared<ShaderContext>();
    made->surface.setFormat(CanvasView::surfaceFormat());
    made->surface.create();
    made->context.setFormat(CanvasView::surfaceFormat());
    made->context.setShareContext(global);
    if (!made->surface.isValid() || !made->context.create() ||
        made->context.shareContext() != global) {
        logLine("Prismeta: no GL context sharing the windows' textures could be made: every "
                "window runs its shaders itself");
        return nullptr;
    }
    return made;
}

} // namespace

std::shared_ptr<SharedShaderPictures> sharedShaderPictures(QOpenGLContext* viewContext) {
    static std::weak_ptr<SharedShaderPictures> shared;
    if (viewContext == nullptr || !QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts) ||
        QOpenGLContext::globalShareContext() == nullptr ||
        !QOpenGLContext::areSharing(viewContext, QOpenGLContext::globalShareContext())) {
        return nullptr;
    }
    if (auto pictures = shared.lock()) {
        return pictures;
    }
    std::shared_ptr<ShaderContext> context = makeShaderContext();
    if (!context) {
        return nullptr;
    }
    ShaderPictureContext switching;
    switching.enter = [context] { return context->enter(); };
    switching.leave = [context] { context->leave(); };
    // A frame is one tick of the clock every view draws by.
    std::shared_ptr<FrameClock> clock = FrameClock::shared();
    auto pictures =
        std::make_shared<SharedShaderPictures>(liveMediaBackend(), std::move(switching), [clock] {
            return static_cast<std::uint64_t>(clock->tickCount());
        });
    shared = pictures;
    return pictures;
}

} // namespace prismeta
