#pragma once

#include "core/Uuid.h"
#include "render/MediaBackend.h"
#include "render/ShaderInputsFrame.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace prismeta {

class IsfPicture;
struct Surface;

// How the shared pictures reach their own GL context, one that shares
// objects (textures, programs, sync objects) with every renderer's context.
struct ShaderPictureContext {
    // Makes that context current; false when it cannot (nothing renders then).
    std::function<bool()> enter;
    // Makes current again whatever was current before enter.
    std::function<void()> leave;
};

// The pictures of shader surfaces for every renderer of a process: each
// surface's shader runs once per frame, in a context of its own, and every
// renderer samples the one texture. A frame is what the host's frame key
// names (the app's frame clock tick); without a key each show time is a
// frame of its own. The first request of a frame renders, at the largest size
// any renderer asked for in the frame before (or this request's, if larger);
// later requests of the frame get the same texture, so TIME is the same on
// every window. A fence set after each render is waited on (by the GPU) in
// the requesting renderer's context before it samples.
//
// Pictures no renderer asked for during staleSeconds are released by the
// next releaseUnused() (every renderer calls it once a frame).
//
// Interface (render) thread only. Requests come with the requesting
// renderer's context current, and leave it current. The destructor enters
// the pictures' context to release them.
class SharedShaderPictures {
public:
    SharedShaderPictures(MediaBackend backend, ShaderPictureContext context,
                         std::function<std::uint64_t()> frameKey = {});
    ~SharedShaderPictures();
    SharedShaderPictures(const SharedShaderPictures&) = delete;
    SharedShaderPictures& operator=(const SharedShaderPictures&) = delete;

    struct Picture {
        unsigned texture = 0;         // 0: loading, compiling or failed (the placeholder)
        bool changesOverTime = false; // whether a later frame may differ
    };
    // The picture of the surface's shader (the file at openPath) for this
    // frame at showTime, wanted at width x height. hostTime drives the videos
    // of image inputs.
    // inputs: fade and event state beyond the surface's stored values, used
    // by the first request of a frame.
    Picture picture(const Surface& surface, std::string_view openPath, int width, int height,
                    double showTime, double hostTime, const ShaderInputsFrame& inputs = {});

    // Releases the pictures not asked for during staleSeconds up to hostTime
    // (steady-clock seconds); cheap when there are none.
    void releaseUnused(double hostTime);

    // Frames the shaders rendered so far, every surface together (tests).
    long long shaderRuns() const { return runs_; }
    std::size_t size() const { return entries_.size(); }

    static constexpr double staleSeconds = 2.0;

private:
    struct Entry {
        Uuid surface;
        std::string path;
        std::unique_ptr<IsfPicture> picture;
        bool rendered = false;
        std::uint64_t frame = 0; // the frame key last rendered
        double used = 0.0;       // the host time it was last asked for at
        unsigned texture = 0;
        void* fence = nullptr; // a GLsync set after the last render
        int wantedWidth = 0;   // the largest size asked for in this frame
        int wantedHeight = 0;
        int lastWidth = 0; // ... and in the frame before
        int lastHeight = 0;
    };

    Entry& entry(const Surface& surface, std::string_view path);
    void render(Entry& entry, const Surface& surface, double showTime, double hostTime,
                const ShaderInputsFrame& inputs);
    void release(Entry& entry);

    MediaBackend backend_;
    ShaderPictureContext context_;
    std::function<std::uint64_t()> frameKey_;
    std::vector<std::unique_ptr<Entry>> entries_;
    long long runs_ = 0;
    bool contextLostLogged_ = false;
};

} // namespace prismeta
