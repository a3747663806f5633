#include "HeapMeter.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <new>
#include <string>

namespace prismeta::bench {

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p) {
        return nullptr;
    }
    const std::size_t now = liveBytes.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) +
                            malloc_usable_size(p);
    std::size_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return p;
}

void release(void* p) {
    if (p) {
        liveBytes.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
        std::free(p);
    }
}

std::size_t statusField(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':') {
            return std::strtoull(line.c_str() + length + 1, nullptr, 10) * 1024;
        }
    }
    return 0;
}

} // namespace

std::size_t HeapMeter::live() {
    return liveBytes.load(std::memory_order_relaxed);
}

std::size_t HeapMeter::peak() {
    return peakBytes.load(std::memory_order_relaxed);
}

void HeapMeter::reset() {
    ::malloc_trim(0);
    peakBytes.store(liveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
    // "5" resets the resident high-water mark (Linux 4.0 and later).
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

std::size_t HeapMeter::residentNow() {
    return statusField("VmRSS");
}

std::size_t HeapMeter::residentPeak() {
    return statusField("VmHWM");
}

} // namespace prismeta::bench

void* operator new(std::size_t size) {
    if (void* p = prismeta::bench::allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    if (void* p = prismeta::bench::allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return prismeta::bench::allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return prismeta::bench::allocate(size);
}

void operator delete(void* p) noexcept {
    prismeta::bench::release(p);
}

void operator delete[](void* p) noexcept {
    prismeta::bench::release(p);
}

void operator delete(void* p, std::size_t) noexcept {
    prismeta::bench::release(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    prismeta::bench::release(p);
}
