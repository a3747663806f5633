#pragma once

#include <cstddef>

namespace prismeta::bench {

// What the process holds: heap bytes handed out through operator new (counted
// at their usable size) with their high-water mark, and the resident set as
// the kernel reports it. Linked into a benchmark program, it replaces the
// global operator new and delete of the whole program. Any thread.
class HeapMeter {
public:
    // Bytes held now.
    static std::size_t live();
    // The most bytes held at once since the last reset.
    static std::size_t peak();

    // Starts a measurement: frees what malloc keeps cached, sets the heap
    // peak to what is held now and the kernel's resident high-water mark to
    // the resident set now.
    static void reset();

    // Resident set now and its high-water mark since the last reset, in
    // bytes (VmRSS and VmHWM of /proc/self/status).
    static std::size_t residentNow();
    static std::size_t residentPeak();
};

} // namespace prismeta::bench
