#include "render/IsfPicture.h"

#include "core/Log.h"
#include "core/ShaderEvents.h"
#include "core/Surface.h"
#include "isf/IsfExpression.h"
#include "isf/IsfInputValues.h"
#include "render/MediaSource.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace prismeta {

namespace {

// Stills by their file's extension; anything else plays as a video.
bool isStillPath(std::string_view path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    std::string lower;
    for (char c : extension) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    for (const char* still : {".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".webp", ".gif",
                              ".tga", ".exr", ".ppm"}) {
        if (lower == still) {
            return true;
        }
    }
    return false;
}

unsigned makeTexture(int width, int height, bool floatingPoint, const void* pixels = nullptr) {
    unsigned texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) {
        return 0;
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, floatingPoint ? GL_RGBA32F : GL_RGBA8, width, height, 0, GL_RGBA,
                 floatingPoint ? GL_FLOAT : GL_UNSIGNED_BYTE, pixels);
    return texture;
}

// A framebuffer drawing into texture, cleared to transparent black.
unsigned makeFramebuffer(unsigned texture) {
    unsigned framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    if (framebuffer == 0) {
        return 0;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        glDeleteFramebuffers(1, &framebuffer);
        return 0;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    return framebuffer;
}

void deleteTexture(unsigned& texture) {
    if (texture != 0) {
        glDeleteTextures(1, &texture);
        texture = 0;
    }
}

void deleteFramebuffer(unsigned& framebuffer) {
    if (framebuffer != 0) {
        glDeleteFramebuffers(1, &framebuffer);
        framebuffer = 0;
    }
}

// $WIDTH, $HEIGHT and the inputs' values (a point or colour by its first
// number) for pass size expressions.
class PassVariables : public IsfVariables {
public:
    PassVariables(const IsfShader& shader, const Surface& surface, int width, int height)
        : shader_(shader), surface_(surface), width_(width), height_(height) {}
    std::optional<double> value(std::string_view name) const override {
        if (name == "WIDTH") {
            return width_;
        }
        if (name == "HEIGHT") {
            return height_;
        }
        const IsfInput* input = shader_.input(name);
        if (input == nullptr || isImageLike(input->type)) {
            return std::nullopt;
        }
        return resolvedIsfValue(*input, surface_.shaderInputs)[0];
    }

private:
    const IsfShader& shader_;
    const Surface& surface_;
    int width_;
    int height_;
};

} // namespace

IsfPicture::IsfPicture(std::string path, const MediaBackend& backend)
    : path_(std::move(path)), backend_(backend), waitForShader_(backend.shadersAtOnce) {
    // Video inputs come as pixels: the passes sample them like any image.
    backend_.compressedTextures = {};
    // Where no thread can be started the read is deferred to the first frame.
    loading_ = std::async(std::launch::async | std::launch::deferred,
                          [path = path_] { return loadIsfShaderFile(path); });
}

IsfPicture::~IsfPicture() {
    images_.clear(); // their players stop and their textures go first
    for (Target& target : targets_) {
        for (int i = 0; i < 2; ++i) {
            deleteTexture(target.textures[i]);
            deleteFramebuffer(target.framebuffers[i]);
        }
    }
    deleteTexture(emptyTexture_);
    deleteTexture(output_);
    deleteFramebuffer(outputFramebuffer_);
    if (vertexBuffer_ != 0) {
        glDeleteBuffers(1, &vertexBuffer_);
    }
    if (vertexArray_ != 0) {
        glDeleteVertexArrays(1, &vertexArray_);
    }
    if (timer_ != 0) {
        glDeleteQueries(1, &timer_);
    }
    // A read still under way finishes in the future's destructor: files are
    // small and regular (loadIsfShaderFile checks), so that is short.
}

void IsfPicture::fail(std::string reason) {
    stage_ = Stage::failed;
    failure_ = std::move(reason);
    logLine("Prismeta: shader " + path_ + ": " + failure_);
}

bool IsfPicture::advance(bool wait) {
    if (stage_ == Stage::loading) {
        if (!wait && loading_.wait_for(std::chrono::seconds(0)) == std::future_status::timeout) {
            return false;
        }
        Result<IsfShaderFile> file = loading_.get();
        if (!file) {
            fail(file.error());
            return false;
        }
        file_ = std::make_unique<IsfShaderFile>(std::move(file).value());
        program_.start(file_->glsl);
        stage_ = Stage::compiling;
    }
    if (stage_ == Stage::compiling) {
        if (!wait && !program_.finished()) {
            return false;
        }
        if (std::string error = program_.link(file_->shader); !error.empty()) {
            fail(error);
            return false;
        }
        if (!prepareGpu()) {
            if (stage_ != Stage::failed) {
                fail("the GPU could not make the shader's buffers");
            }
            return false;
        }
        stage_ = Stage::ready;
    }
    return stage_ == Stage::ready;
}

bool IsfPicture::prepareGpu() {
    const IsfShader& shader = file_->shader;
    for (const IsfPass& pass : shader.passes) {
        // Passes without a target all draw the picture's own buffer.
        auto it = std::find_if(targets_.begin(), targets_.end(),
                               [&](const Target& t) { return t.name == pass.target; });
        if (it == targets_.end()) {
            targets_.emplace_back();
            it = targets_.end() - 1;
            it->name = pass.target;
        }
        it->persistent = it->persistent || pass.persistent;
        it->floatingPoint = it->floatingPoint || pass.floatingPoint;
    }
    for (const IsfPass& pass : shader.passes) {
        const auto it = std::find_if(targets_.begin(), targets_.end(),
                                     [&](const Target& t) { return t.name == pass.target; });
        passTargets_.push_back(static_cast<int>(it - targets_.begin()));
    }
    // The picture is the buffer of the passes without a target, or where
    // there is none, the last pass's target.
    const auto own = std::find_if(targets_.begin(), targets_.end(),
                                  [](const Target& t) { return t.name.empty(); });
    shown_ = own != targets_.end() ? static_cast<int>(own - targets_.begin()) : passTargets_.back();

    for (std::size_t i = 0; i < shader.inputs.size(); ++i) {
        if (isImageLike(shader.inputs[i].type)) {
            ImageSlot slot;
            slot.input = static_cast<int>(i);
            if (shader.inputs[i].type != IsfInputType::image) {
                // Silence: a waveform at its middle, a spectrum at nothing.
                const std::uint8_t level = shader.inputs[i].type == IsfInputType::audio ? 128 : 0;
                const std::array<std::uint8_t, 4> pixel = {level, level, level, 255};
                slot.silence = makeTexture(1, 1, false, pixel.data());
            }
            images_.push_back(std::move(slot));
        }
    }
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    for (const IsfImportedImage& imported : shader.imported) {
        ImageSlot slot;
        slot.path = (folder / imported.path).string();
        std::error_code error;
        if (!std::filesystem::is_regular_file(slot.path, error)) {
            fail("the imported image " + imported.name + " is missing (" + slot.path + ")");
            return false;
        }
        Surface still{Uuid()};
        still.mediaKind = MediaKind::image;
        still.mediaPath = slot.path;
        slot.source = std::make_unique<MediaSource>(still, backend_, 0u, 0.0);
        images_.push_back(std::move(slot));
    }

    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    sizeLimit_ = std::clamp(static_cast<int>(largest), 1, maxSize);
    const std::array<std::uint8_t, 4> clear = {0, 0, 0, 0};
    emptyTexture_ = makeTexture(1, 1, false, clear.data());
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glGenQueries(1, &timer_);
    if (emptyTexture_ == 0 || vertexArray_ == 0 || vertexBuffer_ == 0) {
        return false;
    }
    const float corners[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return true;
}

bool IsfPicture::resize(Target& target, int width, int height) {
    if (target.width == width && target.height == height && target.textures[0] != 0) {
        return true;
    }
    for (int i = 0; i < 2; ++i) {
        deleteTexture(target.textures[i]);
        deleteFramebuffer(target.framebuffers[i]);
        target.textures[i] = makeTexture(width, height, target.floatingPoint);
        target.framebuffers[i] = makeFramebuffer(target.textures[i]);
        if (target.framebuffers[i] == 0) {
            return false;
        }
    }
    target.width = width;
    target.height = height;
    target.front = 0;
    return true;
}

bool IsfPicture::updateImages(const Surface& surface, const ShaderInputsFrame& inputs,
                              double hostTime) {
    const IsfShader& shader = file_->shader;
    for (ImageSlot& slot : images_) {
        if (slot.input < 0 || slot.silence != 0) {
            continue;
        }
        const IsfInput& input = shader.inputs[static_cast<std::size_t>(slot.input)];
        const std::string_view path =
            inputs.fadeFrom ? fadedIsfImagePath(input, *inputs.fadeFrom, surface.shaderInputs,
                                                inputs.fadeProgress)
                            : isfImagePath(input, surface.shaderInputs);
        if (path == slot.path) {
            continue;
        }
        slot.source.reset();
        slot.path = path;
        if (path.empty()) {
            continue;
        }
        std::error_code error;
        if (!std::filesystem::is_regular_file(slot.path, error)) {
            // Not a lasting failure: another file may be chosen.
            const std::string reason =
                "the image input " + input.name + " is missing (" + slot.path + ")";
            if (reason != lastPassFailure_) {
                lastPassFailure_ = reason;
                logLine("Prismeta: shader " + path_ + ": " + reason);
            }
            continue;
        }
        Surface media(surface.id);
        slot.video = !isStillPath(path);
        media.mediaKind = slot.video ? MediaKind::video : MediaKind::image;
        media.mediaPath = slot.path;
        slot.source = std::make_unique<MediaSource>(media, backend_, 0u, hostTime);
    }
    for (const ImageSlot& slot : images_) {
        if (slot.input >= 0 && !slot.path.empty() && !slot.source) {
            return false; // a missing file: the placeholder until it is replaced
        }
    }
    return true;
}

bool IsfPicture::passSize(std::size_t pass, const Surface& surface, int width, int height, int& w,
                          int& h) {
    const IsfPass& description = file_->shader.passes[pass];
    const PassVariables variables(file_->shader, surface, width, height);
    const auto evaluate = [&](const std::string& expression, int whole, int& into,
                              const char* what) {
        if (expression.empty()) {
            into = whole;
            return true;
        }
        const Result<double> value = evaluateIsfExpression(expression, variables);
        std::string reason;
        if (!value) {
            reason = value.error();
        } else if (!(value.value() >= 1.0 && value.value() <= sizeLimit_)) {
            reason = "gives " + std::to_string(value.value()) + ", beyond 1 to " +
                     std::to_string(sizeLimit_);
        }
        if (!reason.empty()) {
            reason = "pass " + std::to_string(pass) + " " + what + ": " + reason;
            if (reason != lastPassFailure_) {
                lastPassFailure_ = reason;
                logLine("Prismeta: shader " + path_ + ": " + reason);
            }
            return false;
        }
        into = static_cast<int>(std::lround(value.value()));
        return true;
    };
    return evaluate(description.width, width, w, "width") &&
           evaluate(description.height, height, h, "height");
}

void IsfPicture::setUniforms(const Surface& surface, const ShaderInputsFrame& inputs, int width,
                             int height, double showTime) {
    const IsfShader& shader = file_->shader;
    glUniform1f(program_.time, static_cast<float>(showTime));
    glUniform1f(program_.timeDelta,
                rendered_ ? static_cast<float>(std::max(0.0, showTime - lastShowTime_)) : 0.0f);
    glUniform1i(program_.frameIndex, static_cast<GLint>(frameIndex_ & 0x7fffffff));
    glUniform2f(program_.renderSize, static_cast<float>(width), static_cast<float>(height));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    glUniform4f(program_.date, static_cast<float>(local.tm_year + 1900),
                static_cast<float>(local.tm_mon + 1), static_cast<float>(local.tm_mday),
                static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec));
    bool firstFloat = true;
    for (std::size_t i = 0; i < shader.inputs.size(); ++i) {
        const IsfInput& input = shader.inputs[i];
        const GLint location = program_.inputs[i];
        const bool live = input.type == IsfInputType::floating && firstFloat;
        if (input.type == IsfInputType::floating) {
            firstFloat = false;
        }
        if (location < 0 || isImageLike(input.type)) {
            continue;
        }
        std::array<double, 4> v =
            inputs.fadeFrom
                ? fadedIsfValue(input, *inputs.fadeFrom, surface.shaderInputs, inputs.fadeProgress)
                : resolvedIsfValue(input, surface.shaderInputs);
        if (live && inputs.liveWeight > 0.0f) {
            // Across the declared range (0..1 where none is declared).
            const double low = input.hasMinimum ? input.minimum[0] : 0.0;
            const double high = input.hasMaximum ? input.maximum[0] : 1.0;
            const double value = low + (high - low) * static_cast<double>(inputs.liveValue);
            v[0] += (value - v[0]) * static_cast<double>(inputs.liveWeight);
        }
        switch (input.type) {
        case IsfInputType::event:
            // Fires for one frame when triggered; none is stored.
            glUniform1i(location,
                        inputs.events != nullptr &&
                                inputs.events->lastTrigger(surface.id, input.name) > eventsSeen_
                            ? 1
                            : 0);
            break;
        case IsfInputType::boolean:
        case IsfInputType::longInt:
            glUniform1i(location, static_cast<GLint>(v[0]));
            break;
        case IsfInputType::floating:
            glUniform1f(location, static_cast<float>(v[0]));
            break;
        case IsfInputType::point2D:
            glUniform2f(location, static_cast<float>(v[0]), static_cast<float>(v[1]));
            break;
        case IsfInputType::color:
            glUniform4f(location, static_cast<float>(v[0]), static_cast<float>(v[1]),
                        static_cast<float>(v[2]), static_cast<float>(v[3]));
            break;
        default:
            break;
        }
    }
}

void IsfPicture::readTimer() {
    if (!timerRunning_) {
        return;
    }
    GLint available = 0;
    glGetQueryObjectiv(timer_, GL_QUERY_RESULT_AVAILABLE, &available);
    if (!available) {
        return;
    }
    timerRunning_ = false;
    GLuint64 nanoseconds = 0;
    glGetQueryObjectui64v(timer_, GL_QUERY_RESULT, &nanoseconds);
    const double seconds = static_cast<double>(nanoseconds) * 1e-9;
    if (seconds > frameBudgetSeconds && !budgetLogged_) {
        budgetLogged_ = true;
        char text[96];
        std::snprintf(text, sizeof text, "a frame took the GPU %.1f ms, over the %.1f ms budget",
                      seconds * 1e3, frameBudgetSeconds * 1e3);
        logLine("Prismeta: shader " + path_ + ": " + text);
    }
}

unsigned IsfPicture::render(const Surface& surface, int width, int height, double showTime,
                            double hostTime, const ShaderInputsFrame& inputs) {
    if (!eventsPrimed_) {
        // Triggers from before this picture was made are not its to fire.
        eventsPrimed_ = true;
        eventsSeen_ = inputs.events ? inputs.events->sequence() : 0;
    }
    if (inputs.events) {
        // Triggers set for a moment count from the first frame at it.
        inputs.events->settle(hostTime);
    }
    if (stage_ == Stage::failed || width <= 0 || height <= 0) {
        return 0;
    }
    if (stage_ != Stage::ready && !advance(waitForShader_)) {
        return 0;
    }
    width = std::min(width, sizeLimit_);
    height = std::min(height, sizeLimit_);
    if (rendered_ && showTime == lastShowTime_ && width == outputWidth_ &&
        height == outputHeight_) {
        return output_;
    }
    if (!updateImages(surface, inputs, hostTime)) {
        return 0;
    }
    const IsfShader& shader = file_->shader;

    // Every pass's size first: a size that cannot be had, or buffers beyond
    // the memory budget, show the placeholder.
    std::array<std::pair<int, int>, maxIsfPasses> sizes{};
    double bytes = 4.0 * width * height;
    for (std::size_t pass = 0; pass < shader.passes.size(); ++pass) {
        const Target& target = targets_[static_cast<std::size_t>(passTargets_[pass])];
        int w = width;
        int h = height;
        if (!target.name.empty() && !passSize(pass, surface, width, height, w, h)) {
            return 0;
        }
        sizes[pass] = {w, h};
        bool first = true;
        for (std::size_t earlier = 0; earlier < pass && first; ++earlier) {
            first = passTargets_[earlier] != passTargets_[pass];
        }
        if (first) {
            bytes += 2.0 * w * h * (target.floatingPoint ? 16.0 : 4.0); // double-buffered
        }
    }
    if (bytes > maxBufferBytes) {
        const std::string reason =
            "the passes need " + std::to_string(std::lround(bytes / 1048576.0)) +
            " MiB of buffers, more than " + std::to_string(std::lround(maxBufferBytes / 1048576.0));
        if (reason != lastPassFailure_) {
            lastPassFailure_ = reason;
            logLine("Prismeta: shader " + path_ + ": " + reason);
        }
        return 0;
    }
    for (std::size_t pass = 0; pass < shader.passes.size(); ++pass) {
        Target& target = targets_[static_cast<std::size_t>(passTargets_[pass])];
        if (!resize(target, sizes[pass].first, sizes[pass].second)) {
            return 0;
        }
    }
    if (output_ == 0 || outputWidth_ != width || outputHeight_ != height) {
        deleteTexture(output_);
        deleteFramebuffer(outputFramebuffer_);
        output_ = makeTexture(width, height, false);
        outputFramebuffer_ = makeFramebuffer(output_);
        if (outputFramebuffer_ == 0) {
            deleteTexture(output_);
            return 0;
        }
        outputWidth_ = width;
        outputHeight_ = height;
    }
    lastPassFailure_.clear();

    readTimer();
    // The first frames are left out: drivers finish compiling at the first draws.
    const bool timing = !timerRunning_ && timer_ != 0 && frameIndex_ >= 2;
    if (timing) {
        glBeginQuery(GL_TIME_ELAPSED, timer_);
    }
    // Every state the passes rely on; the renderer sets its own afterwards.
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FRAMEBUFFER_SRGB);
    glDisable(GL_RASTERIZER_DISCARD);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glUseProgram(program_.program());
    glBindVertexArray(vertexArray_);
    setUniforms(surface, inputs, width, height, showTime);

    // The images of the inputs and imported files, on their units (IsfProgram).
    GLint unit = 0;
    for (std::size_t i = 0; i < images_.size(); ++i) {
        ImageSlot& slot = images_[i];
        unsigned texture = slot.silence != 0 ? slot.silence : emptyTexture_;
        if (slot.source) {
            unsigned current = 0;
            if (slot.video) {
                current = slot.source->videoTexture(hostTime);
                if (current == 0) {
                    current = slot.source->lastVideoTexture();
                }
            } else {
                current = slot.source->staticTexture();
            }
            texture = current != 0 ? current : emptyTexture_;
        }
        const GLint flip =
            slot.input >= 0 ? program_.inputFlips[static_cast<std::size_t>(slot.input)]
                            : program_.importedFlips[i - (images_.size() - shader.imported.size())];
        if (flip >= 0) {
            glUniform1i(flip, slot.source ? 1 : 0);
        }
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindSampler(static_cast<GLuint>(unit), 0);
        glBindTexture(GL_TEXTURE_2D, texture);
        ++unit;
    }
    const GLint firstTargetUnit = unit;

    for (std::size_t pass = 0; pass < shader.passes.size(); ++pass) {
        // Every named target shows its front (last written) texture; the pass
        // writes the other, so reading its own target reads the last frame.
        GLint targetUnit = firstTargetUnit;
        for (const Target& named : targets_) {
            if (named.name.empty()) {
                continue;
            }
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(targetUnit));
            glBindSampler(static_cast<GLuint>(targetUnit), 0);
            glBindTexture(GL_TEXTURE_2D, named.textures[named.front]);
            ++targetUnit;
        }
        Target& target = targets_[static_cast<std::size_t>(passTargets_[pass])];
        const int back = 1 - target.front;
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffers[back]);
        glViewport(0, 0, target.width, target.height);
        if (!target.persistent) {
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glUniform1i(program_.passIndex, static_cast<GLint>(pass));
        glUniform2f(program_.renderSize, static_cast<float>(target.width),
                    static_cast<float>(target.height));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        target.front = back;
    }

    // The picture top row first, as media textures are.
    const Target& shown = targets_[static_cast<std::size_t>(shown_)];
    glBindFramebuffer(GL_READ_FRAMEBUFFER, shown.framebuffers[shown.front]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, outputFramebuffer_);
    const bool scaled = shown.width != width || shown.height != height;
    glBlitFramebuffer(0, 0, shown.width, shown.height, 0, height, width, 0, GL_COLOR_BUFFER_BIT,
                      scaled ? GL_LINEAR : GL_NEAREST);
    if (timing) {
        glEndQuery(GL_TIME_ELAPSED);
        timerRunning_ = true;
    }

    for (GLint i = static_cast<GLint>(program_.samplerNames.size()) - 1; i >= 0; --i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);

    rendered_ = true;
    lastShowTime_ = showTime;
    ++frameIndex_;
    if (inputs.events) {
        eventsSeen_ = inputs.events->sequence();
    }
    return output_;
}

} // namespace prismeta
