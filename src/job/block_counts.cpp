#include "job/block_counts.h"

#include <new>

namespace kelvarin {

void BlockCounts::add(std::span<const std::uint16_t> samples) {
    if (samples.empty()) return;
    SampleCounts* counts = nullptr;
    {
        std::lock_guard hold(mutex_);
        if (outOfMemory_) return;
        try {
            if (idle_.empty()) {
                all_.push_back(std::make_unique<SampleCounts>());
                idle_.reserve(all_.size());
                idle_.push_back(all_.back().get());
            }
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
            return;
        }
        counts = idle_.back();
        idle_.pop_back();
    }
    bool counted = true;
    try {
        counts->add(samples);
    } catch (const std::bad_alloc&) {
        counted = false;
    }
    std::lock_guard hold(mutex_);
    if (!counted) outOfMemory_ = true;
    idle_.push_back(counts);  // room reserved when it was made
}

void BlockCounts::mergeInto(ReportFeed& feed) {
    std::lock_guard hold(mutex_);
    if (outOfMemory_) throw std::bad_alloc();
    for (const auto& counts : all_) feed.mergeCounts(std::move(*counts));
}

}  // namespace kelvarin
