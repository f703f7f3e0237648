// How often each 16-bit level occurs in the samples written so far: the figures of the report
// (lowest, highest, mean, distinct levels, samples at 0 and at 65535, the 256-bin histogram) all
// follow from one count per level, so the samples are counted once, as they are written, in fixed
// memory whatever the image size. A small image's few samples are kept as they are instead, and
// the figures taken from them in one pass: zeroing and scanning the table would cost more than
// the image.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/large_memory.h"

namespace kelvarin {

struct SampleFigures {
    std::uint64_t count = 0;
    std::uint16_t min = 0;
    std::uint16_t max = 0;
    double mean = 0;
    std::uint32_t distinctLevels = 0;
    std::uint64_t atZero = 0;
    std::uint64_t atFull = 0;          // samples at 65535
    std::array<std::uint64_t, 256> histogram{};  // bin i counts the samples v with v >> 8 == i

    // The share of the 16-bit range between the lowest and the highest sample, both counted:
    // (max - min + 1) / 65536; 0 without samples.
    double rangeUsed() const { return count == 0 ? 0.0 : (max - min + 1) / 65536.0; }
};

class SampleCounts {
public:
    // The counters are 32 bits wide; they are added into 64-bit totals before any could overflow,
    // that is after at most `foldAfter` samples (tests choose a small value).
    explicit SampleCounts(std::uint64_t foldAfter = UINT32_MAX);

    void add(std::span<const std::uint16_t> samples);
    // Takes in the counts of samples counted elsewhere (another block of the same image); the
    // second form may take `other`'s memory, leaving it empty.
    void merge(const SampleCounts& other);
    void merge(SampleCounts&& other);
    SampleFigures figures() const;

private:
    static constexpr std::size_t kLevels = 65536;
    // Samples beyond this many are counted in the table.
    static constexpr std::size_t kKeptSamples = 4096;

    void makeTable();
    std::uint64_t total(std::size_t level) const;
    void fold();

    std::vector<std::uint16_t> kept_;    // the samples themselves while there is no table
    LargeVector<std::uint32_t> table_;   // empty until more than kKeptSamples samples came
    LargeVector<std::uint64_t> folded_;  // totals of the counts folded so far; empty until the first fold
    std::uint64_t unfolded_ = 0;         // samples counted in table_ since the last fold
    std::uint64_t foldAfter_;
};

}  // namespace kelvarin
