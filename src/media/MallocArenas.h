#pragma once

namespace prismeta {

// Caps the C library's malloc arenas for a process that plays video for
// hours. glibc hands threads arenas of their own, up to eight per core; every
// decoding, codec and still-loading thread that comes and goes with a media
// source leaves partly used pages in one of them, so a long show's resident
// memory creeps up while what is allocated stays flat. Two arenas keep the
// decoders apart from the interface and render threads; the render loop
// allocates nothing per frame, so it does not contend for them. Call at the
// start of main, before any thread is made. Does nothing where the C library
// has no such setting, or when MALLOC_ARENA_MAX is set.
void limitMallocArenas();

} // namespace prismeta
