#pragma once

#include "isf/IsfShaderFile.h"
#include "render/IsfProgram.h"
#include "render/MediaBackend.h"
#include "render/ShaderInputsFrame.h"

#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace prismeta {

class MediaSource;
struct Surface;

// The picture of one shader surface: an ISF file read and translated on a
// thread of its own, compiled by the driver (in the background where it can),
// then rendered pass by pass into a texture at the size asked for, once per
// show time. The texture has its top row first, as every media texture.
//
// Image inputs are opened through the media backend (stills and videos, on
// the media layer's threads); audio inputs sample silence. A file that cannot
// be read, a header that does not parse, code that does not compile or link,
// a pass size that cannot be evaluated or is beyond the GPU's limit and an
// image input or imported image whose file is missing each leave the
// picture without a texture (the surface shows the placeholder), with one
// log line naming the file and the reason.
//
// A shader is code the user chose: one that never finishes a frame stalls
// the window drawing it, as the driver gives no way to stop it. Frames whose
// passes took the GPU longer than frameBudgetSeconds are logged once.
//
// Owned by one media source; render thread only, the renderer's GL context
// current for every call and the destructor.
class IsfPicture {
public:
    IsfPicture(std::string path, const MediaBackend& backend);
    ~IsfPicture();
    IsfPicture(const IsfPicture&) = delete;
    IsfPicture& operator=(const IsfPicture&) = delete;

    // Renders the surface's shader at showTime (seconds on the show clock)
    // into a width x height texture and returns it; a second call for the
    // same time and size returns the same texture without rendering. 0 while
    // the shader is being read or compiled and after a failure. hostTime
    // drives the videos of image inputs. An event input is true on the first
    // frame rendered after it was triggered (since this picture's first call)
    // and false on the others.
    unsigned render(const Surface& surface, int width, int height, double showTime, double hostTime,
                    const ShaderInputsFrame& inputs = {});

    // Whether the next frame may differ: while loading and compiling, and
    // always once it renders (its TIME moves on).
    bool changesOverTime() const { return stage_ != Stage::failed; }
    bool failed() const { return stage_ == Stage::failed; }
    // Why the picture failed (the text of its log line after the path).
    const std::string& failure() const { return failure_; }
    // Frames rendered so far (FRAMEINDEX of the next one).
    long long framesRendered() const { return frameIndex_; }

    // The largest side a picture or pass target may have here.
    static constexpr int maxSize = 4096;
    // What one shader's buffers may take of GPU memory, all passes together.
    static constexpr double maxBufferBytes = 1024.0 * 1024.0 * 1024.0;
    static constexpr double frameBudgetSeconds = 1.0 / 60.0;

private:
    enum class Stage { loading, compiling, ready, failed };
    struct Target {
        std::string name;
        bool persistent = false;
        bool floatingPoint = false;
        unsigned textures[2] = {0, 0}; // [front] is sampled, [1 - front] written
        unsigned framebuffers[2] = {0, 0};
        int front = 0;
        int width = 0;
        int height = 0;
    };
    struct ImageSlot {
        int input = -1; // the input's position, or -1 for an imported image
        std::string path;
        std::unique_ptr<MediaSource> source;
        unsigned silence = 0; // audio inputs: a small texture of silence
        bool video = false;
    };

    bool advance(bool wait);
    void fail(std::string reason);
    bool prepareGpu();
    bool updateImages(const Surface& surface, const ShaderInputsFrame& inputs, double hostTime);
    bool resize(Target& target, int width, int height);
    bool passSize(std::size_t pass, const Surface& surface, int width, int height, int& w, int& h);
    void setUniforms(const Surface& surface, const ShaderInputsFrame& inputs, int width, int height,
                     double showTime);
    void readTimer();

    std::string path_;
    MediaBackend backend_;
    bool waitForShader_ = false;
    Stage stage_ = Stage::loading;
    std::string failure_;
    std::string lastPassFailure_;
    int sizeLimit_ = maxSize; // maxSize or the driver's smaller texture limit
    std::future<Result<IsfShaderFile>> loading_;
    std::unique_ptr<IsfShaderFile> file_;
    IsfProgram program_;

    std::vector<Target> targets_;   // by name ("" for passes without a target)
    std::vector<int> passTargets_;  // each pass's target in targets_
    int shown_ = 0;                 // the target the picture is copied from
    std::vector<ImageSlot> images_; // image-like inputs, then imported images
    unsigned emptyTexture_ = 0;     // transparent black, for image inputs without a file
    unsigned output_ = 0;           // the picture, top row first
    unsigned outputFramebuffer_ = 0;
    int outputWidth_ = 0;
    int outputHeight_ = 0;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned timer_ = 0;
    bool timerRunning_ = false;
    bool budgetLogged_ = false;
    bool rendered_ = false;
    double lastShowTime_ = 0.0;
    long long frameIndex_ = 0;
    // The event trigger sequence this picture has fired up to.
    std::uint64_t eventsSeen_ = 0;
    bool eventsPrimed_ = false;
};

} // namespace prismeta
