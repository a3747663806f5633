#pragma once

#include "core/Result.h"

#include <memory>
#include <string>

namespace prismeta {

// An OpenGL 3.3 core context without any window, through EGL. It tries, in
// order, every EGL device that is not a software renderer (so a machine with
// a GPU uses it), then Mesa's surfaceless platform (llvmpipe on machines
// without one). There is no default framebuffer: render into an FBO.
//
// Used by tests, benchmarks and prismeta-cli. The context is current on the
// creating thread after create(); one thread at a time may use it. Prints
// nothing unless verbose is set.
class HeadlessContext {
public:
    // Fails with a description naming what was tried when no context can be made.
    static Result<std::unique_ptr<HeadlessContext>> create(bool verbose = false);
    // Another context on the same display sharing this one's objects
    // (textures, buffers, programs, sync objects), current after the call.
    Result<std::unique_ptr<HeadlessContext>> createSharing() const;
    // Releases the context. The EGL display stays initialised until the
    // process ends: it is shared by every context on it.
    ~HeadlessContext();

    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    bool makeCurrent();

    // GL_RENDERER, for example "llvmpipe (LLVM 15.0.6, 256 bits)".
    const std::string& rendererName() const { return rendererName_; }
    // Which way the context was made: "EGL device" or "Mesa surfaceless".
    const std::string& platformName() const { return platformName_; }

private:
    HeadlessContext() = default;

    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string rendererName_;
    std::string platformName_;
};

} // namespace prismeta
