#pragma once

#include <cstddef>

namespace prismeta::testing {

// Watches the allocations made through operator new on the calling thread:
// the bytes held and their high-water mark, and one allocation made to fail
// with std::bad_alloc. Linked into a test program, it replaces the global
// operator new and delete of the whole program; other threads pass through
// untouched.
class AllocationMeter {
public:
    // Bytes held now by this thread's allocations (at their usable size).
    static std::size_t live();
    // The most bytes held at once since resetPeak().
    static std::size_t peak();
    static void resetPeak();

    // Makes the n-th allocation from now on this thread throw std::bad_alloc
    // (n from 1); 0 fails none.
    static void failAllocation(std::size_t n);
    // Whether the allocation chosen by failAllocation has been failed.
    static bool failed();
};

} // namespace prismeta::testing
