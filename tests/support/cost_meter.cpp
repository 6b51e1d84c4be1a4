#include "cost_meter.h"

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

// Every allocation of the test program goes through here, so the bytes a thread holds can be
// read before and after a piece of work. Each thread counts its own allocations; a block freed on
// another thread is taken off that thread's count, which never matters for work measured on one.
namespace {

thread_local std::ptrdiff_t tHeld = 0;
thread_local std::ptrdiff_t tPeak = 0;

void* allocate(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block) {
        throw std::bad_alloc();
    }
    tHeld += static_cast<std::ptrdiff_t>(malloc_usable_size(block));
    tPeak = std::max(tPeak, tHeld);
    return block;
}

void* allocateNoThrow(std::size_t size) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block) {
        tHeld += static_cast<std::ptrdiff_t>(malloc_usable_size(block));
        tPeak = std::max(tPeak, tHeld);
    }
    return block;
}

void release(void* block) noexcept {
    if (block) {
        tHeld -= static_cast<std::ptrdiff_t>(malloc_usable_size(block));
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateNoThrow(size);
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    release(block);
}

namespace nimbara::test {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

WorkCost measureCost(const std::function<void()>& work, int runs) {
    WorkCost cost;
    for (int run = 0; run < std::max(runs, 1); ++run) {
        const std::ptrdiff_t heldBefore = tHeld;
        const std::ptrdiff_t peakBefore = tPeak;
        tPeak = tHeld;
        const double start = threadCpuSeconds();
        work();
        const double seconds = threadCpuSeconds() - start;
        const auto peak = static_cast<std::size_t>(std::max<std::ptrdiff_t>(tPeak - heldBefore, 0));
        tPeak = std::max(peakBefore, tPeak);
        cost.cpuSeconds = run == 0 ? seconds : std::min(cost.cpuSeconds, seconds);
        cost.peakBytes = std::max(cost.peakBytes, peak);
    }
    return cost;
}

std::string describe(const WorkCost& cost) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f ms, %.2f MiB", cost.cpuSeconds * 1000.0,
                  static_cast<double>(cost.peakBytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace nimbara::test
