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

#include <mutex>
#include <vector>
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

// `length` bytes starting on a huge-page boundary, hinted to be backed by huge pages.
void* mapAligned(std::size_t length, FirstTouch touch) {
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

// Buffers shorter than a huge page share huge pages: they are cut one after another from
// regions of one huge page each, and a region is given back when its last buffer is freed.
// A buffer of small pages would be cheaper in memory, but on virtual machines the first write
// to each small page can cost microseconds even after it was populated, where a huge page is
// made in one step; a job's few buffers of this size (sample and read buffers, count tables)
// then fill two or three huge pages.
class SharedRegions {
public:
    void* allocate(std::size_t length) {
        std::lock_guard<std::mutex> hold(lock_);
        if (regions_.empty() || regions_.back().used + length > kHugePage) {
            regions_.reserve(regions_.size() + 1);  // so that pushing below cannot throw after the map
            void* memory = mapAligned(kHugePage, FirstTouch::AtOnce);
            regions_.push_back({reinterpret_cast<std::uintptr_t>(memory), 0, 0});
        }
        Region& region = regions_.back();
        void* memory = reinterpret_cast<void*>(region.base + region.used);
        region.used += length;
        ++region.live;
        return memory;
    }
    void free(void* memory) noexcept {
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(memory) / kHugePage * kHugePage;
        std::lock_guard<std::mutex> hold(lock_);
        for (std::size_t i = 0; i < regions_.size(); ++i) {
            if (regions_[i].base != base) continue;
            if (--regions_[i].live == 0) {
                ::munmap(reinterpret_cast<void*>(base), kHugePage);
                regions_.erase(regions_.begin() + static_cast<std::ptrdiff_t>(i));
            }
            return;
        }
    }

private:
    struct Region {
        std::uintptr_t base;
        std::size_t used;  // bytes cut from the start so far
        std::size_t live;  // buffers not yet freed
    };
    std::mutex lock_;
    std::vector<Region> regions_;  // the last one is where new buffers are cut
};

SharedRegions& sharedRegions() {
    static SharedRegions* regions = new SharedRegions;  // never destroyed: buffers may outlive statics
    return *regions;
}

}  // namespace

void* allocateLarge(std::size_t bytes, FirstTouch touch) {
    if (bytes < kLargeFrom) return ::operator new(bytes);
    if (bytes > static_cast<std::size_t>(-1) - kHugePage - kPage) throw std::bad_alloc();
    const std::size_t length = mappedLength(bytes);
    if (length < kHugePage) return sharedRegions().allocate(length);
    return mapAligned(length, touch);
}

void freeLarge(void* memory, std::size_t bytes) noexcept {
    if (!memory) return;
    if (bytes < kLargeFrom) return ::operator delete(memory);
    const std::size_t length = mappedLength(bytes);
    if (length < kHugePage) return sharedRegions().free(memory);
    ::munmap(memory, length);
}

#else

void* allocateLarge(std::size_t bytes, FirstTouch) { return ::operator new(bytes); }

void freeLarge(void* memory, std::size_t) noexcept { ::operator delete(memory); }

#endif

}  // namespace kelvarin
