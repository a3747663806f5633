#include "AllocationMeter.h"

#include <cstdlib>
#include <malloc.h>
#include <new>

namespace prismeta::testing {

namespace {

// Plain thread-local integers: initialised without code, so they are safe to
// touch from operator new at any moment of a thread's life.
thread_local std::size_t liveBytes = 0;
thread_local std::size_t peakBytes = 0;
thread_local std::size_t untilFailure = 0;
thread_local bool failureHappened = false;

void* allocate(std::size_t size) {
    if (untilFailure > 0 && --untilFailure == 0) {
        failureHappened = true;
        return nullptr;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p) {
        liveBytes += malloc_usable_size(p);
        if (liveBytes > peakBytes) {
            peakBytes = liveBytes;
        }
    }
    return p;
}

void release(void* p) {
    if (p) {
        // Memory from another thread may end here: never below zero.
        const std::size_t size = malloc_usable_size(p);
        liveBytes = liveBytes > size ? liveBytes - size : 0;
        std::free(p);
    }
}

void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}

} // namespace

std::size_t AllocationMeter::live() {
    return liveBytes;
}

std::size_t AllocationMeter::peak() {
    return peakBytes;
}

void AllocationMeter::resetPeak() {
    peakBytes = liveBytes;
}

void AllocationMeter::failAllocation(std::size_t n) {
    untilFailure = n;
    failureHappened = false;
}

bool AllocationMeter::failed() {
    return failureHappened;
}

} // namespace prismeta::testing

void* operator new(std::size_t size) {
    return prismeta::testing::allocateOrThrow(size);
}

void* operator new[](std::size_t size) {
    return prismeta::testing::allocateOrThrow(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return prismeta::testing::allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return prismeta::testing::allocate(size);
}

void operator delete(void* p) noexcept {
    prismeta::testing::release(p);
}

void operator delete[](void* p) noexcept {
    prismeta::testing::release(p);
}

void operator delete(void* p, std::size_t) noexcept {
    prismeta::testing::release(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    prismeta::testing::release(p);
}
