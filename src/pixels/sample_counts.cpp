#include "pixels/sample_counts.h"

#include <algorithm>

namespace kelvarin {

namespace {

// The samples of one block, alternating between the two tables. Measured on smooth terrain, on
// 8-bit levels (multiples of 256) and on noise, two tables count faster than one or four, and
// mixing the index to spread 8-bit levels over the cache sets costs more than it saves.
void countInto(std::uint32_t* first, std::uint32_t* second, const std::uint16_t* samples, std::size_t size) {
    std::size_t i = 0;
    for (; i + 2 <= size; i += 2) {
        ++first[samples[i]];
        ++second[samples[i + 1]];
    }
    if (i < size) ++first[samples[i]];
}

}  // namespace

SampleCounts::SampleCounts(std::uint64_t foldAfter)
    : tables_(kSecondTable + kLevels, 0), foldAfter_(std::max<std::uint64_t>(foldAfter, 1)) {}

void SampleCounts::add(std::span<const std::uint16_t> samples) {
    while (!samples.empty()) {
        if (unfolded_ == foldAfter_) fold();
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(samples.size(), foldAfter_ - unfolded_));
        countInto(tables_.data(), tables_.data() + kSecondTable, samples.data(), take);
        unfolded_ += take;
        samples = samples.subspan(take);
    }
}

std::uint64_t SampleCounts::total(std::size_t level) const {
    std::uint64_t sum = std::uint64_t{tables_[level]} + tables_[kSecondTable + level];
    if (!folded_.empty()) sum += folded_[level];
    return sum;
}

void SampleCounts::fold() {
    if (folded_.empty()) folded_.assign(kLevels, 0);
    for (std::size_t level = 0; level < kLevels; ++level) folded_[level] = total(level);
    std::fill(tables_.begin(), tables_.end(), 0);
    unfolded_ = 0;
}

void SampleCounts::merge(const SampleCounts& other) {
    if (folded_.empty()) folded_.assign(kLevels, 0);
    for (std::size_t level = 0; level < kLevels; ++level) folded_[level] += other.total(level);
}

SampleFigures SampleCounts::figures() const {
    SampleFigures figures;
    std::uint64_t sum = 0;  // below 2^64 for any image of fewer than 2^48 samples
    bool seen = false;
    for (std::size_t level = 0; level < kLevels; ++level) {
        const std::uint64_t n = total(level);
        if (n == 0) continue;
        const auto value = static_cast<std::uint16_t>(level);
        if (!seen) figures.min = value;
        seen = true;
        figures.max = value;
        figures.count += n;
        sum += n * level;
        ++figures.distinctLevels;
        figures.histogram[level >> 8] += n;
    }
    figures.atZero = total(0);
    figures.atFull = total(kLevels - 1);
    if (figures.count > 0) figures.mean = static_cast<double>(sum) / static_cast<double>(figures.count);
    return figures;
}

}  // namespace kelvarin
