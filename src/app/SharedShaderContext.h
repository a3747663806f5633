#pragma once

#include <memory>

class QOpenGLContext;

namespace prismeta {

class SharedShaderPictures;

// The shader pictures every canvas view of the process shares, rendered in
// a GL context of their own (an offscreen surface) that shares objects with
// the views' contexts, once per tick of the FrameClock. Made on first use,
// gone with the last view that holds them.
//
// None (each view's renderer then runs its shaders itself) where contexts do
// not share objects: Qt::AA_ShareOpenGLContexts was not set before the
// application (CanvasView::installDefaultSurfaceFormat sets it), the view's
// context is not in the global share group, or the context cannot be made.
//
// Interface thread only, with viewContext current.
std::shared_ptr<SharedShaderPictures> sharedShaderPictures(QOpenGLContext* viewContext);

} // namespace prismeta
