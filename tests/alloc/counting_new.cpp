#include "alloc/counting_new.h"

#include "base/large_memory.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace kelvarin::test {

namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};

void* allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) return nullptr;
    const std::size_t now = live += malloc_usable_size(p);
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    return p;
}

void release(void* p) {
    if (p == nullptr) return;
    live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

std::size_t liveBytes() { return live; }
std::size_t peakBytes() { return peak; }
void resetPeak() { peak = live.load(); }

}  // namespace kelvarin::test

void* operator new(std::size_t size) {
    if (void* p = kelvarin::test::allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return kelvarin::test::allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return kelvarin::test::allocate(size); }
void operator delete(void* p) noexcept { kelvarin::test::release(p); }
void operator delete[](void* p) noexcept { kelvarin::test::release(p); }
void operator delete(void* p, std::size_t) noexcept { kelvarin::test::release(p); }
void operator delete[](void* p, std::size_t) noexcept { kelvarin::test::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { kelvarin::test::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { kelvarin::test::release(p); }

// The core maps its large buffers straight from the system, where this counter would not see
// them; in this program they come from the counted operator new instead (these definitions are
// linked in place of the core's).
namespace kelvarin {
void* allocateLarge(std::size_t bytes, FirstTouch) { return ::operator new(bytes); }
void freeLarge(void* memory, std::size_t) noexcept { ::operator delete(memory); }
}  // namespace kelvarin
