#include "render/SharedShaderPictures.h"

#include "core/Log.h"
#include "core/Surface.h"
#include "render/IsfPicture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <bit>

namespace prismeta {

SharedShaderPictures::SharedShaderPictures(MediaBackend backend, ShaderPictureContext context,
                                           std::function<std::uint64_t()> frameKey)
    : backend_(std::move(backend)), context_(std::move(context)), frameKey_(std::move(frameKey)) {}

SharedShaderPictures::~SharedShaderPictures() {
    if (entries_.empty()) {
        return;
    }
    // The pictures' GL objects belong to their context; where it cannot be
    // had any more they go with it.
    if (context_.enter && context_.enter()) {
        for (auto& entry : entries_) {
            release(*entry);
        }
        context_.leave();
    }
}

SharedShaderPictures::Picture SharedShaderPictures::picture(const Surface& surface,
                                                            std::string_view openPath, int width,
                                                            int height, double showTime,
                                                            double hostTime,
                                                            const ShaderInputsFrame& inputs) {
    const std::uint64_t key = frameKey_ ? frameKey_() : std::bit_cast<std::uint64_t>(showTime);
    Entry& e = entry(surface, openPath);
    e.used = hostTime;
    if (!e.rendered || e.frame != key) {
        // The first request of a frame: at the largest size any renderer
        // wanted in the frame before, or this one's.
        e.lastWidth = e.wantedWidth;
        e.lastHeight = e.wantedHeight;
        e.wantedWidth = width;
        e.wantedHeight = height;
        e.frame = key;
        e.rendered = true;
        render(e, surface, showTime, hostTime, inputs);
    } else {
        e.wantedWidth = std::max(e.wantedWidth, width);
        e.wantedHeight = std::max(e.wantedHeight, height);
    }
    if (e.texture != 0 && e.fence != nullptr) {
        // This renderer's commands wait (on the GPU) for the render to finish.
        glWaitSync(static_cast<GLsync>(e.fence), 0, GL_TIMEOUT_IGNORED);
    }
    return {e.texture, e.picture->changesOverTime()};
}

SharedShaderPictures::Entry& SharedShaderPictures::entry(const Surface& surface,
                                                         std::string_view path) {
    for (auto& e : entries_) {
        if (e->surface == surface.id && e->path == path) {
            return *e;
        }
    }
    auto made = std::make_unique<Entry>();
    made->surface = surface.id;
    made->path = std::string(path);
    made->picture = std::make_unique<IsfPicture>(made->path, backend_);
    entries_.push_back(std::move(made));
    return *entries_.back();
}

void SharedShaderPictures::render(Entry& e, const Surface& surface, double showTime,
                                  double hostTime, const ShaderInputsFrame& inputs) {
    if (!context_.enter || !context_.enter()) {
        if (!contextLostLogged_) {
            contextLostLogged_ = true;
            logLine("Prismeta: the shaders' GL context cannot be made current (lost?): shader "
                    "surfaces show the placeholder");
        }
        e.texture = 0;
        return;
    }
    const long long before = e.picture->framesRendered();
    e.texture =
        e.picture->render(surface, std::max(e.lastWidth, e.wantedWidth),
                          std::max(e.lastHeight, e.wantedHeight), showTime, hostTime, inputs);
    if (e.picture->framesRendered() != before) {
        ++runs_;
        if (e.fence != nullptr) {
            glDeleteSync(static_cast<GLsync>(e.fence));
        }
        e.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        // The fence must reach the GPU before another context waits on it.
        glFlush();
    }
    context_.leave();
}

void SharedShaderPictures::releaseUnused(double hostTime) {
    const auto stale = [hostTime](const std::unique_ptr<Entry>& e) {
        return hostTime - e->used > staleSeconds;
    };
    if (std::none_of(entries_.begin(), entries_.end(), stale) || !context_.enter ||
        !context_.enter()) {
        return;
    }
    for (auto& e : entries_) {
        if (stale(e)) {
            release(*e);
        }
    }
    std::erase_if(entries_, stale);
    context_.leave();
}

void SharedShaderPictures::release(Entry& e) {
    e.picture.reset();
    if (e.fence != nullptr) {
        glDeleteSync(static_cast<GLsync>(e.fence));
        e.fence = nullptr;
    }
    e.texture = 0;
}

} // namespace prismeta
