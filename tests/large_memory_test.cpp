// The large buffers' memory: every byte of every size is usable and keeps what was written while
// other buffers come and go (a wrong alignment or unmapped tail would fault or overlap), and a
// vector growing through the sizes where the memory changes kind keeps its contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "base/large_memory.h"

namespace kelvarin {
namespace {

TEST(LargeMemory, EveryByteIsUsableAndKeptWhileOthersComeAndGo) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const std::size_t sizes[] = {1,          4095,           (256 << 10) - 1, 256 << 10, (256 << 10) + 1,
                                 2 * kMiB - 1, 2 * kMiB,       2 * kMiB + 1,    6 * kMiB + 123};
    const auto pattern = [](std::size_t buffer, std::size_t at) {
        return static_cast<std::uint8_t>(buffer * 31 + at * 7 + (at >> 12));
    };
    std::vector<LargeArray<std::uint8_t>> buffers;
    for (std::size_t b = 0; b < std::size(sizes); ++b) {
        buffers.push_back(makeLargeArray<std::uint8_t>(sizes[b]));
        for (std::size_t at = 0; at < sizes[b]; ++at) buffers[b][at] = pattern(b, at);
    }
    // Every other buffer freed and made again, then all checked.
    for (std::size_t b = 0; b < std::size(sizes); b += 2) {
        buffers[b].reset();
        buffers[b] = makeLargeArray<std::uint8_t>(sizes[b]);
        for (std::size_t at = 0; at < sizes[b]; ++at) buffers[b][at] = pattern(b, at);
    }
    for (std::size_t b = 0; b < std::size(sizes); ++b) {
        SCOPED_TRACE(sizes[b]);
        for (std::size_t at = 0; at < sizes[b]; ++at) ASSERT_EQ(buffers[b][at], pattern(b, at)) << at;
    }

    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> grown;
    for (std::uint32_t i = 0; i < 3 * kMiB; ++i) grown.push_back(i * 2654435761u);
    for (std::uint32_t i = 0; i < 3 * kMiB; ++i) ASSERT_EQ(grown[i], i * 2654435761u) << i;
}

// Buffers shorter than a huge page are cut from shared pages: made and freed on several threads at
// once, in mixed orders and sizes, none may overlap another or lose its bytes, and a page given
// back when its last buffer goes must not be one a live buffer is in.
TEST(LargeMemory, SharedBuffersStayApartAcrossThreads) {
    const auto worker = [](std::uint32_t seed, bool& ok) {
        std::uint32_t state = seed;
        const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
        struct Held {
            LargeArray<std::uint8_t> bytes;
            std::size_t size;
            std::uint8_t mark;
        };
        std::vector<Held> held;
        for (int round = 0; round < 60 && ok; ++round) {
            const std::size_t size = (std::size_t{256} << 10) + next() % ((std::size_t{7} << 18) - 1);
            const auto mark = static_cast<std::uint8_t>(next());
            held.push_back({makeLargeArray<std::uint8_t>(size), size, mark});
            std::fill(held.back().bytes.get(), held.back().bytes.get() + size, mark);
            if (held.size() > 3) held.erase(held.begin() + static_cast<std::ptrdiff_t>(next() % held.size()));
            for (const Held& h : held)
                if (std::count(h.bytes.get(), h.bytes.get() + h.size, h.mark) != static_cast<std::ptrdiff_t>(h.size))
                    ok = false;
        }
    };
    bool ok[4] = {true, true, true, true};
    std::vector<std::thread> threads;
    for (std::uint32_t t = 0; t < 4; ++t) threads.emplace_back(worker, t + 1, std::ref(ok[t]));
    for (std::thread& thread : threads) thread.join();
    for (const bool threadOk : ok) EXPECT_TRUE(threadOk);
}

}  // namespace
}  // namespace kelvarin
