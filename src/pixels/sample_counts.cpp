#include "pixels/sample_counts.h"

#include <algorithm>
#include <array>
#include <bit>

namespace kelvarin {

namespace {

// One table, counted in sample order. Two or four tables used by turns keep a run of equal samples
// (an 8-bit source) from making each increment wait for the one before, but measured in whole jobs
// they cost more than they save: the conversion streams megabytes through the same cache, and a
// 16-bit image spreads over every table's lines.
void countInto(std::uint32_t* table, const std::uint16_t* samples, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) ++table[samples[i]];
}

}  // namespace

SampleCounts::SampleCounts(std::uint64_t foldAfter) : foldAfter_(std::max<std::uint64_t>(foldAfter, 1)) {}

void SampleCounts::makeTable() {
    table_.assign(kLevels, 0);
    const std::vector<std::uint16_t> kept = std::move(kept_);
    kept_ = {};
    add(kept);
}

void SampleCounts::add(std::span<const std::uint16_t> samples) {
    if (table_.empty()) {
        if (samples.size() <= kKeptSamples - kept_.size()) {
            kept_.insert(kept_.end(), samples.begin(), samples.end());
            return;
        }
        makeTable();
    }
    while (!samples.empty()) {
        if (unfolded_ == foldAfter_) fold();
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(samples.size(), foldAfter_ - unfolded_));
        countInto(table_.data(), samples.data(), take);
        unfolded_ += take;
        samples = samples.subspan(take);
    }
}

std::uint64_t SampleCounts::total(std::size_t level) const {
    std::uint64_t sum = table_[level];
    if (!folded_.empty()) sum += folded_[level];
    return sum;
}

void SampleCounts::fold() {
    if (folded_.empty()) folded_.assign(kLevels, 0);
    for (std::size_t level = 0; level < kLevels; ++level) folded_[level] = total(level);
    std::fill(table_.begin(), table_.end(), 0);
    unfolded_ = 0;
}

void SampleCounts::merge(const SampleCounts& other) {
    if (other.table_.empty()) {
        add(other.kept_);
        return;
    }
    if (table_.empty()) makeTable();
    if (other.folded_.empty() && other.unfolded_ <= foldAfter_ - unfolded_) {
        // Both counts fit the 32-bit counters together: no 64-bit totals are needed.
        for (std::size_t level = 0; level < kLevels; ++level)
            table_[level] += other.table_[level];
        unfolded_ += other.unfolded_;
        return;
    }
    if (folded_.empty()) folded_.assign(kLevels, 0);
    for (std::size_t level = 0; level < kLevels; ++level) folded_[level] += other.total(level);
}

void SampleCounts::merge(SampleCounts&& other) {
    // Counts that hold nothing yet take the other's table instead of making (and paging in)
    // one of their own.
    if (table_.empty() && kept_.empty() && !other.table_.empty() && other.unfolded_ <= foldAfter_) {
        table_ = std::move(other.table_);
        folded_ = std::move(other.folded_);
        unfolded_ = other.unfolded_;
        other.table_.clear();
        other.folded_.clear();
        other.unfolded_ = 0;
        return;
    }
    merge(static_cast<const SampleCounts&>(other));
}

SampleFigures SampleCounts::figures() const {
    SampleFigures figures;
    std::uint64_t sum = 0;  // below 2^64 for any image of fewer than 2^48 samples
    if (table_.empty()) {
        // A bit a level says which levels occur. A batch of small images makes the figures of
        // each, and sorting the samples for them took longer than converting them.
        std::array<std::uint64_t, kLevels / 64> seen{};
        figures.count = kept_.size();
        figures.min = kept_.empty() ? 0 : kLevels - 1;
        for (const std::uint16_t level : kept_) {
            figures.min = std::min(figures.min, level);
            figures.max = std::max(figures.max, level);
            sum += level;
            ++figures.histogram[level >> 8];
            figures.atZero += level == 0;
            figures.atFull += level == kLevels - 1;
            seen[level >> 6] |= std::uint64_t{1} << (level & 63);
        }
        for (const std::uint64_t bits : seen) figures.distinctLevels += static_cast<std::uint32_t>(std::popcount(bits));
    } else {
        // The levels that occur, lowest first, with their counts.
        for (std::size_t level = 0; level < kLevels; ++level) {
            const std::uint64_t n = total(level);
            if (n == 0) continue;
            if (figures.count == 0) figures.min = static_cast<std::uint16_t>(level);
            figures.max = static_cast<std::uint16_t>(level);
            figures.count += n;
            sum += n * level;
            ++figures.distinctLevels;
            figures.histogram[level >> 8] += n;
            if (level == 0) figures.atZero = n;
            if (level == kLevels - 1) figures.atFull = n;
        }
    }
    if (figures.count > 0) figures.mean = static_cast<double>(sum) / static_cast<double>(figures.count);
    return figures;
}

}  // namespace kelvarin
