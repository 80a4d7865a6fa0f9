// The replaced global allocation functions of the realtime test binary.
#include "realtime/AllocationCounter.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace kvrt
{
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
thread_local bool uncountedThread = false;
} // namespace kvrt

namespace
{
using kvrt::allocations;
using kvrt::counting;
using kvrt::uncountedThread;

void* CountedAllocate(std::size_t size, std::size_t alignment)
{
    if (counting.load(std::memory_order_relaxed) && !uncountedThread)
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    if (alignment <= alignof(std::max_align_t))
        return std::malloc(size);
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

// Out of line, so that the compiler does not pair it with the allocation.
__attribute__((noinline)) void Release(void* p) noexcept
{
    std::free(p);
}
} // namespace

// clang-format off
void* operator new(std::size_t n) { if (void* p = CountedAllocate(n, 0)) return p; throw std::bad_alloc(); }
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return CountedAllocate(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return CountedAllocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a)
{
    if (void* p = CountedAllocate(n, static_cast<std::size_t>(a))) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return CountedAllocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return CountedAllocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
// clang-format on
