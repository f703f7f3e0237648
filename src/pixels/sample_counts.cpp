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

SampleCounts::SampleCounts(std::uint64_t foldAfter) : foldAfter_(std::max<std::uint64_t>(foldAfter, 1)) {}

void SampleCounts::makeTables() {
    tables_.assign(kSecondTable + kLevels, 0);
    const std::vector<std::uint16_t> kept = std::move(kept_);
    kept_ = {};
    add(kept);
}

void SampleCounts::add(std::span<const std::uint16_t> samples) {
    if (tables_.empty()) {
        if (samples.size() <= kKeptSamples - kept_.size()) {
            kept_.insert(kept_.end(), samples.begin(), samples.end());
            return;
        }
        makeTables();
    }
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
    if (other.tables_.empty()) {
        add(other.kept_);
        return;
    }
    if (tables_.empty()) makeTables();
    if (other.folded_.empty() && other.unfolded_ <= foldAfter_ - unfolded_) {
        // Both counts fit the 32-bit counters together: no 64-bit totals are needed.
        for (std::size_t level = 0; level < kLevels; ++level)
            tables_[level] += other.tables_[level] + other.tables_[kSecondTable + level];
        unfolded_ += other.unfolded_;
        return;
    }
    if (folded_.empty()) folded_.assign(kLevels, 0);
    for (std::size_t level = 0; level < kLevels; ++level) folded_[level] += other.total(level);
}

void SampleCounts::merge(SampleCounts&& other) {
    // Counts that hold nothing yet take the other's tables instead of making (and paging in)
    // tables of their own.
    if (tables_.empty() && kept_.empty() && !other.tables_.empty() && other.unfolded_ <= foldAfter_) {
        tables_ = std::move(other.tables_);
        folded_ = std::move(other.folded_);
        unfolded_ = other.unfolded_;
        other.tables_.clear();
        other.folded_.clear();
        other.unfolded_ = 0;
        return;
    }
    merge(static_cast<const SampleCounts&>(other));
}

SampleFigures SampleCounts::figures() const {
    SampleFigures figures;
    std::uint64_t sum = 0;  // below 2^64 for any image of fewer than 2^48 samples
    // The levels that occur, lowest first, with their counts.
    const auto take = [&figures, &sum](std::uint16_t level, std::uint64_t n) {
        if (figures.count == 0) figures.min = level;
        figures.max = level;
        figures.count += n;
        sum += n * level;
        ++figures.distinctLevels;
        figures.histogram[level >> 8] += n;
        if (level == 0) figures.atZero = n;
        if (level == kLevels - 1) figures.atFull = n;
    };
    if (tables_.empty()) {
        std::vector<std::uint16_t> sorted = kept_;
        std::sort(sorted.begin(), sorted.end());
        for (auto run = sorted.begin(); run != sorted.end();) {
            const auto end = std::upper_bound(run, sorted.end(), *run);
            take(*run, static_cast<std::uint64_t>(end - run));
            run = end;
        }
    } else {
        for (std::size_t level = 0; level < kLevels; ++level) {
            if (const std::uint64_t n = total(level)) take(static_cast<std::uint16_t>(level), n);
        }
    }
    if (figures.count > 0) figures.mean = static_cast<double>(sum) / static_cast<double>(figures.count);
    return figures;
}

}  // namespace kelvarin
