// The report's counts of an image converted in blocks on several threads: each block is counted
// by the thread that converted it, while its samples are still in that core's cache, into counts
// no other thread uses meanwhile; they are merged when the image is complete. There are never
// more counts than threads counting at once, so the memory does not grow with the image.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "pixels/height_report.h"
#include "pixels/sample_counts.h"

namespace kelvarin {

class BlockCounts {
public:
    // Counts samples of the image, in any order; safe to call from several threads at once.
    void add(std::span<const std::uint16_t> samples);
    // Everything counted so far, moved into `feed`'s counts (these counts are left empty).
    // Throws std::bad_alloc when counting ran out of memory.
    void mergeInto(ReportFeed& feed);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<SampleCounts>> all_;
    std::vector<SampleCounts*> idle_;  // of all_, the counts no thread is using
    bool outOfMemory_ = false;
};

}  // namespace kelvarin
