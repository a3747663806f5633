// Linked into the Qt tests of sanitizer builds. At exit Qt closes its X
// display, and Mesa's GLX loader unloads the software GL driver (and glvnd
// the loader): memory the driver still held through its own globals then
// looks leaked, with call stacks into a library that is gone, which no
// suppression can name. Loading both once more with RTLD_NODELETE keeps them
// mapped to the end, so LeakSanitizer sees that memory as reachable and real
// leaks keep their stacks.
#if defined(__SANITIZE_ADDRESS__)

#include <dlfcn.h>
#include <link.h>

#include <string>

namespace {

void keepLoaded(const char* path) {
    // The handle is deliberately never closed.
    (void)::dlopen(path, RTLD_LAZY | RTLD_GLOBAL | RTLD_NODELETE);
}

const bool kept = [] {
    void* glx = ::dlopen("libGLX_mesa.so.0", RTLD_LAZY | RTLD_NODELETE);
    if (glx == nullptr) {
        return false;
    }
    // The DRI drivers live beside the loader, in dri/; every Mesa driver
    // name is a link to the same file, which the dynamic linker loads once.
    link_map* map = nullptr;
    if (::dlinfo(glx, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        std::string folder = map->l_name;
        folder.erase(folder.find_last_of('/') + 1);
        keepLoaded((folder + "dri/swrast_dri.so").c_str());
    }
    return true;
}();

} // namespace

#endif
