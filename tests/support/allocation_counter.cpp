#include "support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Every replaceable form of new and delete goes through malloc and free, so
// memory allocated by one form and freed by another (as Mesa's compiler does
// with the nothrow form) still pairs up under AddressSanitizer.

namespace {

std::atomic<long> g_allocations{0};
std::atomic<unsigned long long> g_bytes{0};

void* countedAllocation(std::size_t size) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(size, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = countedAllocation(size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    if (void* p = countedAllocation(size))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace Tarn::Test {

long allocationCount() {
    return g_allocations.load(std::memory_order_relaxed);
}

unsigned long long allocatedBytes() {
    return g_bytes.load(std::memory_order_relaxed);
}

}  // namespace Tarn::Test
