#include "base/large_memory.h"

#include <cstdint>

// The address sanitizer (GCC says so by a macro, Clang by a feature) must see every buffer.
#if defined(__SANITIZE_ADDRESS__)
#define KELVARIN_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVARIN_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(__linux__) && !defined(KELVARIN_ADDRESS_SANITIZER)
#include <sys/mman.h>
#define KELVARIN_LARGE_PAGES 1
#endif

namespace kelvarin {

#ifdef KELVARIN_LARGE_PAGES

namespace {

constexpr std::size_t kPage = 4096;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a buffer is left to the heap: it holds no huge page, and the heap reuses memory.
constexpr std::size_t kLargeFrom = std::size_t{256} << 10;

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it, which changes nothing
#endif

std::size_t mappedLength(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

}  // namespace

void* allocateLarge(std::size_t bytes, FirstTouch touch) {
    if (bytes < kLargeFrom) return ::operator new(bytes);
    if (bytes > static_cast<std::size_t>(-1) - kHugePage - kPage) throw std::bad_alloc();
    const std::size_t length = mappedLength(bytes);
    // Mapped with room to start on a huge-page boundary; the slack either side is given back.
    void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) ::munmap(mapped, aligned - start);
    if (const std::size_t tail = start + kHugePage - aligned) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* memory = reinterpret_cast<void*>(aligned);
    // Both are hints: without them the memory is the same, only slower to touch first.
    (void)::madvise(memory, length, MADV_HUGEPAGE);
    if (touch == FirstTouch::AtOnce) (void)::madvise(memory, length, MADV_POPULATE_WRITE);
    return memory;
}

void freeLarge(void* memory, std::size_t bytes) noexcept {
    if (!memory) return;
    if (bytes < kLargeFrom) return ::operator delete(memory);
    ::munmap(memory, mappedLength(bytes));
}

#else

void* allocateLarge(std::size_t bytes, FirstTouch) { return ::operator new(bytes); }

void freeLarge(void* memory, std::size_t) noexcept { ::operator delete(memory); }

#endif

}  // namespace kelvarin
