#include "render/HeadlessContext.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <string_view>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// Programs that make headless contexts under AddressSanitizer (the engine
// tests, prismeta-cli) load Mesa's driver, whose dynamic TLS blocks this
// toolchain's LeakSanitizer misreads: about one exit in a hundred its leak
// check crashes while scanning them. Not tracking __tls_get_addr avoids that;
// leaks are still checked. ASAN_OPTIONS in the environment still wins.
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

namespace prismeta {

namespace {

// EGL hands out one display per platform and device for the whole process,
// and eglTerminate would end every context on it (and unload the driver):
// a display is initialised once and stays so until the process ends.
bool initialiseDisplay(EGLDisplay display) {
    EGLint major = 0;
    EGLint minor = 0;
    return eglInitialize(display, &major, &minor) == EGL_TRUE; // again: a no-op
}

bool hasClientExtension(const char* name) {
    return epoxy_has_egl_extension(EGL_NO_DISPLAY, name);
}

bool hasExtension(std::string_view list, std::string_view name) {
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        if (list.substr(0, space) == name) {
            return true;
        }
        if (space == std::string_view::npos) {
            break;
        }
        list.remove_prefix(space + 1);
    }
    return false;
}

struct Made {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
};

// Makes a 3.3 core context current on display, with no surface at all.
// With shareWith, the new context shares its objects (on the same display).
Made makeContext(EGLDisplay display, std::string& why, EGLContext shareWith = EGL_NO_CONTEXT) {
    if (display == EGL_NO_DISPLAY || !initialiseDisplay(display)) {
        why = "no display";
        return {};
    }
    if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context")) {
        why = "no surfaceless contexts";
        return {};
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        why = "no desktop OpenGL";
        return {};
    }
    // Without EGL_PBUFFER_BIT Mesa reports no config at all.
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_ALPHA_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (eglChooseConfig(display, configAttributes, &config, 1, &configCount) != EGL_TRUE ||
        configCount < 1) {
        if (!epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
            why = "no matching config";
            return {};
        }
        config = EGL_NO_CONFIG_KHR;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    const EGLContext context = eglCreateContext(display, config, shareWith, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        why = "no OpenGL 3.3 core context";
        return {};
    }
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE ||
        epoxy_gl_version() < 33) {
        why = "the context would not become current as OpenGL 3.3";
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
        return {};
    }
    return {display, context};
}

// EGL devices that are not software renderers: a machine's GPUs.
std::vector<EGLDeviceEXT> hardwareDevices() {
    if (!hasClientExtension("EGL_EXT_device_enumeration") ||
        !hasClientExtension("EGL_EXT_device_query")) {
        return {};
    }
    EGLint count = 0;
    if (eglQueryDevicesEXT(0, nullptr, &count) != EGL_TRUE || count <= 0) {
        return {};
    }
    std::vector<EGLDeviceEXT> devices(static_cast<std::size_t>(count));
    if (eglQueryDevicesEXT(count, devices.data(), &count) != EGL_TRUE) {
        return {};
    }
    devices.resize(static_cast<std::size_t>(count));
    std::vector<EGLDeviceEXT> hardware;
    for (EGLDeviceEXT device : devices) {
        const char* extensions = eglQueryDeviceStringEXT(device, EGL_EXTENSIONS);
        if (extensions == nullptr || !hasExtension(extensions, "EGL_MESA_device_software")) {
            hardware.push_back(device);
        }
    }
    return hardware;
}

} // namespace

Result<std::unique_ptr<HeadlessContext>> HeadlessContext::create(bool verbose) {
    if (!hasClientExtension("EGL_EXT_platform_base")) {
        return Result<std::unique_ptr<HeadlessContext>>::failure(
            "headless OpenGL needs EGL with EGL_EXT_platform_base, which this system lacks");
    }
    std::string tried;
    Made made;
    std::string platform;

    if (hasClientExtension("EGL_EXT_platform_device")) {
        for (EGLDeviceEXT device : hardwareDevices()) {
            std::string why;
            made = makeContext(eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, device, nullptr),
                               why);
            if (made.context != EGL_NO_CONTEXT) {
                platform = "EGL device";
                break;
            }
            tried += "EGL device: " + why + "; ";
        }
    }
    if (made.context == EGL_NO_CONTEXT) {
        if (hasClientExtension("EGL_MESA_platform_surfaceless")) {
            std::string why;
            made = makeContext(eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA,
                                                        EGL_DEFAULT_DISPLAY, nullptr),
                               why);
            if (made.context != EGL_NO_CONTEXT) {
                platform = "Mesa surfaceless";
            } else {
                tried += "Mesa surfaceless: " + why + "; ";
            }
        } else {
            tried += "Mesa surfaceless: not available; ";
        }
    }
    if (made.context == EGL_NO_CONTEXT) {
        if (tried.empty()) {
            tried = "no EGL device and no Mesa surfaceless platform; ";
        }
        tried.resize(tried.size() - 2);
        return Result<std::unique_ptr<HeadlessContext>>::failure(
            "no headless OpenGL 3.3 core context could be made (" + tried + ")");
    }

    std::unique_ptr<HeadlessContext> context(new HeadlessContext());
    context->display_ = made.display;
    context->context_ = made.context;
    context->platformName_ = platform;
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    context->rendererName_ = name != nullptr ? name : "unknown";
    if (verbose) {
        std::fprintf(stderr, "headless OpenGL: %s, GL_RENDERER %s\n",
                     context->platformName_.c_str(), context->rendererName_.c_str());
    }
    return context;
}

Result<std::unique_ptr<HeadlessContext>> HeadlessContext::createSharing() const {
    std::string why;
    const Made made = makeContext(display_, why, context_);
    if (made.context == EGL_NO_CONTEXT) {
        return Result<std::unique_ptr<HeadlessContext>>::failure(
            "no headless OpenGL context sharing objects could be made (" + why + ")");
    }
    std::unique_ptr<HeadlessContext> context(new HeadlessContext());
    context->display_ = made.display;
    context->context_ = made.context;
    context->platformName_ = platformName_;
    context->rendererName_ = rendererName_;
    return context;
}

HeadlessContext::~HeadlessContext() {
    if (context_ == nullptr) {
        return;
    }
    if (eglGetCurrentContext() == context_) {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroyContext(display_, context_);
}

bool HeadlessContext::makeCurrent() {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

} // namespace prismeta
