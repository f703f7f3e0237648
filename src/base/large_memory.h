// Memory for a conversion's large working buffers and tables (sample buffers, report counters).
// Touching fresh memory costs a page fault per 4 KiB page, and on a virtual machine each costs
// microseconds: megabytes of such memory cost milliseconds before any pixel is converted. On
// Linux this memory is therefore mapped in transparent huge pages (buffers shorter than one
// share them) and faulted in with one call; elsewhere (and under the address sanitizer, which
// must see every buffer) it is plain heap memory. Its contents start unspecified, like malloc's.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace kelvarin {

// When the pages of large memory are made: all at once as it is allocated (one call, cheapest
// for memory that one thread fills), or as each is first touched (memory that several threads
// fill side by side, each making its own pages).
enum class FirstTouch { AtOnce, ByUse };

// Throws std::bad_alloc when there is no memory.
void* allocateLarge(std::size_t bytes, FirstTouch touch = FirstTouch::AtOnce);
void freeLarge(void* memory, std::size_t bytes) noexcept;

// For std::vector and friends.
template <typename T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocateLarge(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept { freeLarge(memory, count * sizeof(T)); }

    template <typename U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

template <typename T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

// An array of `count` Ts in such memory, left uninitialised.
struct LargeDeleter {
    std::size_t bytes = 0;
    void operator()(void* memory) const noexcept { freeLarge(memory, bytes); }
};
template <typename T>
using LargeArray = std::unique_ptr<T[], LargeDeleter>;

template <typename T>
LargeArray<T> makeLargeArray(std::size_t count, FirstTouch touch = FirstTouch::AtOnce) {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return LargeArray<T>(static_cast<T*>(allocateLarge(count * sizeof(T), touch)), LargeDeleter{count * sizeof(T)});
}

}  // namespace kelvarin
