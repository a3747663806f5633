#include "media/MallocArenas.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace prismeta {

void limitMallocArenas() {
#if defined(__GLIBC__)
    // A user who set MALLOC_ARENA_MAX meant it.
    if (std::getenv("MALLOC_ARENA_MAX") != nullptr) {
        return;
    }
    constexpr int arenas = 2;
    static_cast<void>(mallopt(M_ARENA_MAX, arenas));
#endif
}

} // namespace prismeta
